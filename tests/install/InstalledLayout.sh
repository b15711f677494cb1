#!/usr/bin/env bash
# The suite installed under a prefix (cmake --install, as the packages lay it out) finds
# its libraries, programs and data there: the job opens in traditional Chinese (translator
# library, language files), a queued write-off runs through the installed server, its
# runner and server library, and nothing of the build folder is used.
#   InstalledLayout.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr
lib=$usr/lib/wofb07/

# Every program and library resolves the suite's own libraries below the prefix.
for f in "$usr"/bin/* "$lib"*.so "$lib"S_PKG/*.so; do
  deps=$(ldd "$f")
  if grep -q "not found" <<<"$deps"; then fail "$f: $(grep 'not found' <<<"$deps")"; fi
  for l in $(awk '/libqv_/ {print $3}' <<<"$deps"); do
    [ "$(realpath "$l")" = "$(realpath "$lib")/$(basename "$l")" ] || fail "$f takes $l, not the installed one"
  done
done

# The demo installation made by the installed jobhost names the installed files.
demo=$root/demo
export HOME=$root/home QT_QPA_PLATFORM=offscreen
"$usr/bin/jobhost" demo "$demo" --lang CHT --offscreen >"$root/open.log" 2>&1 ||
  fail "the installed jobhost did not open the job: $(cat "$root/open.log")"
grep -q "ReportCounterS.dmReportCounter=${lib%/}/ReportCounterS.so" "$demo/classes.ini" ||
  fail "the class table does not name the installed server library: $(cat "$demo/classes.ini")"
[ "$(readlink "$demo/client/MultiLanguage")" = "$usr/share/wofb07/MultiLanguage" ] ||
  fail "the language files are not the installed ones: $(readlink "$demo/client/MultiLanguage")"
cmp -s "$lib/S_PKG/WOFB07S.so" "$demo/server/S_PKG/WOFB07S.so" || fail "the server library is not the installed one"

# A queued write-off, run by the installed server and its runner.
"$usr/bin/qvappserver" --install "$demo" --metrics 127.0.0.1:0 --poll 100 >"$root/server.log" 2>&1 &
server_pid=$!
cat >"$root/writeoff.json" <<'JSON'
{"command": 1, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A001", "to": "A003"},
 "ed10": "PKG1", "ed11": "B006", "btnFilter": "*"}
JSON
"$usr/bin/jobhost" demo "$demo" --offscreen --run "$root/writeoff.json" >"$root/run.log" 2>&1 ||
  fail "the queued write-off was refused: $(cat "$root/run.log")"
# Traditional texts on a simplified database come from the translator library; the
# Taiwan wording "佇列" from the installed language files alone.
grep -q "應付賬款轉銷作業" "$root/run.log" && grep -q "佇列" "$root/run.log" ||
  fail "the job's message is not worded by the installed language files: $(cat "$root/run.log")"
for _ in $(seq 1 300); do
  "$usr/bin/qvjobs" --install "$demo" list >"$root/list.txt" 2>&1 || true
  grep -qiE "WOFB07.*(done|failed)" "$root/list.txt" && break
  sleep 0.2
done
grep -qiE "WOFB07.*done" "$root/list.txt" || fail "the job did not run to done: $(cat "$root/list.txt" "$root/server.log")"
maps=$(cat "/proc/$server_pid/maps")
grep -q "${lib}libqv_platform.so" <<<"$maps" || fail "the server does not run on the installed libraries"
if grep -q "$build/" <<<"$maps"; then fail "the server uses files of the build folder"; fi
echo "installed layout: the job opened, a queued write-off ran to done, all from $usr"
