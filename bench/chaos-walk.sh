#!/usr/bin/env bash
# The wizard under a random person and a random network: RUNS runs of the
# real signed, tagged wizard, run i from seed SEED+i (its installer data and
# source, offers, campaign, SkipFinishedPage, the server's answer to every
# download request, the person's actions), each in a display, Wine prefix and
# stand-in server of its own; after each run the invariants of
# bench/chaos_walk.py are checked and every violation printed with the seed
# that repeats it (bench/chaos-walk.sh 1 SEED). Ends with a summary. JOBS runs
# go side by side (default 1); KEEP=FOLDER keeps every run's lines.
# Usage: bench/chaos-walk.sh [RUNS=300 [SEED]]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
source "$(dirname "$0")/lib/wizard-runs.sh"
runs=${1:-300}
seed=${2:-$RANDOM}
[[ "$runs" =~ ^[1-9][0-9]*$ && "$seed" =~ ^[0-9]+$ ]] || { echo "usage: chaos-walk.sh [RUNS [SEED]]"; exit 2; }
require_built "$wizard_driver" "$wizard_program" "$wizard_fixtures/package-A.msi.bz2" "$wizard_fixtures/offer-C.exe.bz2" \
    "$build_dir/host/wrenstall-tag"
# Every run copies a booted template prefix: the caller's (a test's own
# prefix) or one made here.
own_template=
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    own_template=$(mktemp -d)
    (make_template_prefix "$own_template/prefix") >/dev/null 2>&1
    export WINEPREFIX="$own_template/prefix"
fi
trap '[ -n "$own_template" ] && rm -rf "$own_template"' EXIT
echo "chaos walk: $runs runs from seed $seed, ${JOBS:-1} at a time, under $(wine --version 2>/dev/null)"
python3 "$root/bench/chaos_walk.py" --root "$root" --runs "$runs" --seed "$seed" --jobs "${JOBS:-1}" ${KEEP:+--keep "$KEEP"}
