#!/usr/bin/env bash
# Tests of scripts/lib/wine-run, the emulator that runs every test program:
# which runs count as "did not start" and are run once more, which failures
# stand, and where Wine's own messages go. A fake Wine plays each case; it
# counts its starts and behaves by the table below.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
runner="$here/../../scripts/lib/wine-run"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The fake Wine: FAKE_PLAN is a list of behaviours, one per start, e.g.
# "silent pass": the first start prints nothing and exits 1, the second passes.
cat >"$work/fake-wine" <<'FAKE'
#!/usr/bin/env bash
n=$(($(cat "$FAKE_COUNT" 2>/dev/null || echo 0) + 1))
echo "$n" >"$FAKE_COUNT"
read -r -a plan <<<"$FAKE_PLAN"
case "${plan[$((n - 1))]:-pass}" in
  silent) exit 1 ;;
  winesilent) echo "0024:err:module:import_dll Library KERNEL32.dll not found" >&2; echo "wine: could not load kernel32.dll, status c0000135" >&2; exit 53 ;;
  pass) echo "[==========] Running 1 test from 1 test suite."; echo "[  PASSED  ] 1 test."; exit 0 ;;
  fail) echo "[==========] Running 1 test from 1 test suite."; echo "own stderr line" >&2; echo "[  FAILED  ] 1 test."; exit 1 ;;
  crashlate) echo "[==========] Running 1 test from 1 test suite."; exit 3 ;;
  plainout) echo "soak: 20 stops"; exit 1 ;;
esac
FAKE
chmod +x "$work/fake-wine"

failures=0
# case: name | plan | args | expected exit | expected starts | expected retry records | expected stderr lines
check() {
  local label="$1" plan="$2" args="$3" want_rc="$4" want_starts="$5" want_records="$6" want_err="$7"
  rm -f "$work/count" "$work/retried.txt" "$work/wine.log"
  local rc=0
  # shellcheck disable=SC2086
  FAKE_PLAN="$plan" FAKE_COUNT="$work/count" TOLVANE_WINE="$work/fake-wine" \
    TOLVANE_WINE_LOG="$work/wine.log" TOLVANE_RETRY_LOG="$work/retried.txt" \
    "$runner" "$work/bin/prog.exe" $args >"$work/stdout" 2>"$work/stderr" || rc=$?
  local starts records err
  starts=$(cat "$work/count" 2>/dev/null || echo 0)
  records=0; [ -f "$work/retried.txt" ] && records=$(wc -l <"$work/retried.txt")
  err=$(grep -c . "$work/stderr")
  if [ "$rc" -ne "$want_rc" ] || [ "$starts" -ne "$want_starts" ] || [ "$records" -ne "$want_records" ] ||
    [ "$err" -ne "$want_err" ]; then
    echo "FAIL $label: exit $rc (want $want_rc), starts $starts (want $want_starts)," \
      "records $records (want $want_records), stderr lines $err (want $want_err)"
    sed 's/^/  stderr: /' "$work/stderr"
    failures=$((failures + 1))
  else
    echo "ok   $label"
  fi
}

#     label                                  plan                 args                          rc starts records stderr
check "passes at once"                       "pass"               "--gtest_filter=A.B"           0  1      0       0
check "silent exit is run again and counted" "silent pass"        "--gtest_filter=A.B"           0  2      1       1
check "silent twice fails, counted once"     "silent silent"      "--gtest_filter=A.B"           1  2      1       1
check "Wine's start failure run again"       "winesilent pass"    "--gtest_filter=A.B"           0  2      1       1
check "a started test that fails stands"     "fail pass"          "--gtest_filter=A.B"           1  1      0       1
check "a crash after the first line stands"  "crashlate pass"     "--gtest_filter=A.B"           3  1      0       0
check "other program with output stands"     "plainout pass"      "--stops 20"                   1  1      0       0
check "other program silent is run again"    "silent pass"        "--stops 20"                   0  2      1       1

# The record names the test, and Wine's messages are in the log, not on screen.
rm -f "$work/count" "$work/retried.txt" "$work/wine.log"
FAKE_PLAN="winesilent pass" FAKE_COUNT="$work/count" TOLVANE_WINE="$work/fake-wine" \
  TOLVANE_WINE_LOG="$work/wine.log" TOLVANE_RETRY_LOG="$work/retried.txt" \
  "$runner" "$work/bin/prog.exe" --gtest_filter=Suite.Name >/dev/null 2>"$work/stderr"
if [ "$(cat "$work/retried.txt")" = "Suite.Name" ] && grep -q '^Suite.Name: wine: could not load kernel32.dll' "$work/wine.log" &&
  grep -q '^Suite.Name: 0024:err:module' "$work/wine.log" && ! grep -q 'kernel32' "$work/stderr" &&
  grep -qx 'did not start, ran again: Suite.Name' "$work/stderr"; then
  echo "ok   the record names the test; Wine's messages go to the log"
else
  echo "FAIL the record or the Wine log"
  failures=$((failures + 1))
fi

echo "wine-run checks: $((9 - failures)) of 9 ok"
[ "$failures" -eq 0 ]
