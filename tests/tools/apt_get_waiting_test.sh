#!/usr/bin/env bash
# tools/apt-get-waiting against a stand-in apt-get that fails with apt's lock
# message while $dir/held counts down: the lock is waited for within the
# bound; any other failure is passed on at once.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >> "$FAKE_DIR/calls"
held=$(cat "$FAKE_DIR/held")
[ "$held" = other ] && { echo "E: Unable to locate package nosuch" >&2; exit 100; }
[ "$held" -eq 0 ] && exit 0
echo $((held - 1)) > "$FAKE_DIR/held"
echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
exit 100
FAKE
printf '#!/bin/sh\nexec "$@"\n' > "$dir/sudo"
chmod +x "$dir/apt-get" "$dir/sudo"
export PATH="$dir:$PATH" FAKE_DIR="$dir" KORVAN_APT_LOCK_PAUSE=0
failed=0
# held tries, wait bound, expected status, expected calls, expected text
while IFS='|' read -r held wait status calls text; do
  echo "$held" > "$dir/held"
  : > "$dir/calls"
  KORVAN_APT_LOCK_WAIT=$wait "$1" install -y hello > "$dir/out" 2>&1
  got=$?
  if [ "$got" -ne "$status" ] || [ "$(wc -l < "$dir/calls")" -ne "$calls" ] ||
     ! grep -qF "$text" "$dir/out" || ! grep -q "Lock::Timeout=[0-9]* install -y hello" "$dir/calls"; then
    echo "FAIL held=$held: status $got"; cat "$dir/out"; failed=1
  fi
done <<'CASES'
2|600|0|3|waiting for another package manager run to finish (held by process 4242 (apt-get))
5|0|100|1|still holds its lock after 0 s
other|600|100|1|Unable to locate package nosuch
CASES
exit $failed
