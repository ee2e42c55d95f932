#!/usr/bin/env bash
# The vsftpd tests log in as a local user with a known password. This creates that user
# (an empty home folder, no other rights) when it is missing. Needs root; without it the
# vsftpd tests are skipped with a message.
set -euo pipefail
user=kestrin-ftptest
password=kestrin-test-pw
if [ "$(id -u)" -ne 0 ]; then
  echo "Not root: the vsftpd tests will be skipped." >&2
  exit 0
fi
home=/var/lib/$user
if ! getent passwd "$user" >/dev/null; then
  useradd --system --no-create-home --home-dir "$home" --shell /bin/bash "$user"
fi
# vsftpd enters the home folder before it moves to the test's own root.
mkdir -p "$home"
usermod --home "$home" "$user"
echo "$user:$password" | chpasswd
