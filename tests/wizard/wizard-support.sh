# Shared by the wizard's shell tests: arguments, the stand-in server's control
# calls and one run of WizardDriver. Sourced after script-support.sh.
# Arguments: WizardDriver.exe Wrenstall.exe FIXTURES SHOTS_FOLDER [SCENARIO...]
driver=${1:?WizardDriver.exe}
wizard=${2:?Wrenstall.exe}
fixtures=${3:?fixtures folder}
shots=${4:?screenshot folder}
shift 4
only=" ${*:-all} "
wanted() { [ "$only" = " all " ] || [[ "$only" == *" $1 "* ]]; }
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
reset() { curl -s -X POST "$base/__control/reset" >/dev/null; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots"
# drive SCENARIO EXE [LANGUAGE PREFIX]: runs the driver in that locale (pictures
# named PREFIX-*.bmp when PREFIX is given, what each showed in $work/pictures);
# its output in $work/out, and the wizard's own diagnostics shown when a check failed.
drive() {
    local scenario=$1 exe=$2 language=${3:-en_US} prefix=${4:-}
    local shot_args=()
    [ -n "$prefix" ] && shot_args=("$(winpath "$shots")" "$prefix")
    LC_ALL=$language.UTF-8 LANG=$language.UTF-8 wine "$driver" run "$scenario" "$(winpath "$exe")" "${shot_args[@]}" \
        > "$work/out.txt" 2>"$work/diagnostics.txt"
    local status=$?
    tr -d '\r' < "$work/out.txt" > "$work/out"
    grep "^picture " "$work/out" >> "$work/pictures"
    sed 's/^/    /' "$work/out"
    grep -q "^FAIL" "$work/out" && tr -d '\r' < "$work/diagnostics.txt" | grep -v "fixme:" | tail -20 | sed 's/^/    log: /'
    return $status
}
# shows NAME WHAT: the picture NAME.bmp (or .png) was taken while its window
# showed WHAT, as the driver read back from the window (its last picture of that name).
shows() {
    [ -s "$shots/$1.png" ] || [ -s "$shots/$1.bmp" ] || return 1
    [ "$(grep "^picture $1: " "$work/pictures" | tail -n 1)" = "picture $1: $2" ]
}
