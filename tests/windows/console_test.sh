#!/usr/bin/env bash
# mdx2obj.exe at a real console under Wine, driven through tmux: the program's
# standard handles are then the console, as at a Windows terminal. A name
# outside ASCII shows as itself, /? is the help, and nothing waits for Enter
# (Wine's console has no window of its own).
#
#   console_test.sh MDX2OBJ.EXE WINEPREFIX
#
# tmux runs on a socket of this test's own, so that a tmux server already
# running on the machine (whose environment the session would take) plays no
# part, and the session gets the suite's Wine prefix explicitly: never ~/.wine.
set -euo pipefail
exe=$1
prefix=$2
[ -n "$prefix" ] || { echo "no Wine prefix given" >&2; exit 1; }
work=$(mktemp -d)
tmux=(tmux -L "mdx2obj-console-$$" -f /dev/null)
session=console
trap '"${tmux[@]}" kill-server 2> /dev/null || true; rm -rf "$work"' EXIT
cd "$work"

# One geoset of three vertices, normals and texture coordinates, one triangle:
# the blocks as the converter reads them, written out byte by byte, in a
# chunk of their size.
u32() {
  local b
  for b in 0 8 16 24; do printf "\\x$(printf %02x $(($1 >> b & 255)))"; done
}
{
  printf 'MDLXGEOS' && u32 134
  printf 'VRTX' && u32 3 && head -c 36 /dev/zero
  printf 'NRMS' && u32 3 && head -c 36 /dev/zero
  printf 'PVTX' && u32 3 && printf '\x00\x00\x01\x00\x02\x00'
  printf 'UVBS' && u32 3 && head -c 24 /dev/zero
} > "mod$(printf '\xc3\xa8')le.mdx"
# 60,000 vertices: more OBJ text than a pipe holds, so that a reader that
# leaves after a line makes the next write fail.
{
  printf 'MDLXGEOS' && u32 1920038
  printf 'VRTX' && u32 60000 && head -c 720000 /dev/zero
  printf 'NRMS' && u32 60000 && head -c 720000 /dev/zero
  printf 'PVTX' && u32 3 && printf '\x00\x00\x01\x00\x02\x00'
  printf 'UVBS' && u32 60000 && head -c 480000 /dev/zero
} > big.mdx

# Every call of the script below must end by itself; each leaves its status.
cat > calls.sh << CALLS
wine '$exe' mod*le.mdx; echo "status \$?"
wine '$exe' '/?' | head -1; echo "status \${PIPESTATUS[0]}"
wine '$exe' --version; echo "status \$?"
wine '$exe' --frob 2> /dev/null; echo "status \$?"
wine '$exe' -q -o - mod*le.mdx | head -1; echo "status \${PIPESTATUS[0]}"
wine '$exe' -q -o - big.mdx | head -1; echo "status \${PIPESTATUS[0]}"
wine '$exe' mod*le.mdx 2> log.txt; echo "status \$?"
echo finished
CALLS
# Wine starts its own services with the first program of a prefix, and one of
# them may crash on a machine without a display: that happens here, outside
# the console that the test reads.
env WINEPREFIX="$prefix" WINEDEBUG=-all wine "$exe" --version > /dev/null 2>&1 || true
"${tmux[@]}" new-session -d -s "$session" -x 160 -y 40 \
  "env WINEPREFIX='$prefix' WINEDEBUG=-all bash calls.sh > /dev/tty; sleep 60"
for _ in $(seq 1 120); do
  "${tmux[@]}" capture-pane -pt "$session" | grep -q '^finished' && break
  sleep 0.5
done
# Wine's own reports of its services ("wine: ...") are not the program's.
screen=$("${tmux[@]}" capture-pane -pt "$session" | grep -v '^$' | grep -v '^wine: ')
expected="mod$(printf '\xc3\xa8')le.mdx -> mod$(printf '\xc3\xa8')le.obj: 1 geoset, 3 vertices, 1 triangle
status 0
usage: mdx2obj [OPTIONS] PATH...
status 0
mdx2obj 1.1.0
status 0
status 2
v 0.000000 0.000000 0.000000
status 0
v 0.000000 0.000000 0.000000
status 1
status 0
finished"
if [ "$screen" != "$expected" ]; then
  echo "the console shows:"
  echo "$screen"
  echo "where it should show:"
  echo "$expected"
  exit 1
fi
echo "console under Wine: as expected"
