# Shared by the benchmarks that run the real wizard (sourced after
# scripts/lib/common.sh and select_runnable_build): the programs they need,
# the stand-in server and a display around the script, and a signed wizard
# copy configured for that server.
wizard_driver="$run_build_dir/tests/WizardDriver.exe"
wizard_program="$run_build_dir/Wrenstall.exe"
wizard_fixtures="$run_build_dir/tests/fixtures"

# Ends the script with a message when one of the files is missing.
require_built() {
    local file
    for file in "$@"; do
        [ -f "$file" ] || { echo "build first: $file"; exit 1; }
    done
}

# Runs the calling script again, with its arguments, inside the stand-in
# server (on a free 127.0.0.1 port) and, without DISPLAY, a virtual display;
# returns only inside that run.
rerun_with_server_and_display() {
    [ -n "${WRENSTALL_SERVER_PORT:-}" ] && return 0
    local runner=("$root/tests/server/with-server.sh" "$0" "$@")
    if [ -z "${DISPLAY:-}" ]; then in_display "${runner[@]}"; else "${runner[@]}"; fi
    exit
}

winpath() { echo "Z:${1//\//\\}"; }

# signed_wizard_copy FOLDER PAYLOAD_URL [KEY=VALUE...]: the wizard configured
# for PAYLOAD_URL on the stand-in server (and those entries), signed with test
# key A like the packages, at FOLDER/setup.exe; prints that path.
signed_wizard_copy() {
    local folder=$1 payload=$2 base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
    shift 2
    mkdir -p "$folder"
    wine "$wizard_driver" config "$(winpath "$wizard_program")" "$(winpath "$folder/unsigned.exe")" ProductCode=TW6 \
        'AppExe=%ProgramFiles%\Kelvora\Kelvora.exe' "TrackingEndpoint=$base" "RpcEndpoint=$base" \
        "Payload=CMsiExecutor|$payload" PageOrder=CWelcomePage,CProgressPage,CFinishedPage "$@" >/dev/null 2>&1
    rm -f "$folder/setup.exe"  # the signing tool never overwrites
    osslsigncode sign -certs "$wizard_fixtures/pki/A-chain.crt" -key "$wizard_fixtures/pki/A.key" -h sha256 \
        -in "$folder/unsigned.exe" -out "$folder/setup.exe" >/dev/null
    echo "$folder/setup.exe"
}

uninstall_kelvora() { wine msiexec /x '{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}' /qn >/dev/null 2>&1 || true; }
