#!/usr/bin/env bash
# tools/apt-get-waiting against a stand-in apt-get: a lock held by another run is
# waited for, within the bound; any other failure is passed on at once.
set -u
script="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The stand-in fails with apt's lock message while $dir/held counts down.
cat > "$dir/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >> "$FAKE_DIR/calls"
held=$(cat "$FAKE_DIR/held")
if [ "$held" = other ]; then echo "E: Unable to locate package nosuch" >&2; exit 100; fi
if [ "$held" -gt 0 ]; then
  echo $((held - 1)) > "$FAKE_DIR/held"
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
  exit 100
fi
FAKE
printf '#!/bin/sh\nexec "$@"\n' > "$dir/sudo"
chmod +x "$dir/apt-get" "$dir/sudo"
export PATH="$dir:$PATH" FAKE_DIR="$dir" KORVAN_APT_LOCK_PAUSE=0
failed=0
# case: held lock count, wait bound, expected status, expected calls, expected text
run() {
  echo "$2" > "$dir/held"
  : > "$dir/calls"
  KORVAN_APT_LOCK_WAIT=$3 "$script" install -y hello > "$dir/out" 2>&1
  local status=$? calls
  calls=$(wc -l < "$dir/calls")
  if [ "$status" -ne "$4" ] || [ "$calls" -ne "$5" ] || ! grep -q "$6" "$dir/out" ||
     ! grep -q -- "-o DPkg::Lock::Timeout=[0-9]* install -y hello" "$dir/calls"; then
    echo "FAIL $1: status $status, $calls calls"; cat "$dir/out"; failed=1
  else
    echo "ok $1"
  fi
}
run "lock released after two tries" 2 600 0 3 "waiting for another package manager run to finish (held by process 4242 (apt-get))"
run "lock still held after the wait" 5 0 100 1 "still holds its lock after 0 s"
run "another failure is not retried" other 600 100 1 "Unable to locate package nosuch"
exit $failed
