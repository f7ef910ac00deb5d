#!/bin/sh
# Runs a command with a /dev/shm of its own:
#   tools/private_shm.sh COMMAND [ARGUMENT...]
#
# TVXHandvane's shared memory area has one name per machine, so a test that
# starts the real program would meet a TVXHandvane that the machine's user
# runs: be refused by it, or take its area over once it ended. Inside a user
# and mount namespace of its own the command sees an empty /dev/shm and
# nothing else changes: it runs as the same user, with the same files and
# network. Where the system allows no such namespace, the command runs as it
# is, after a note.
set -eu

uid=$(id -u)
gid=$(id -g)
# Root of a new user namespace may mount a tmpfs; a second namespace inside
# it maps the user back, so that the command runs as the user it is.
inside='mount -t tmpfs -o mode=1777 tmpfs /dev/shm || exit 125
uid=$1 gid=$2
shift 2
exec unshare --user --map-user="$uid" --map-group="$gid" -- "$@"'

if unshare --user --map-root-user --mount -- sh -c "$inside" private_shm "$uid" "$gid" true \
  2>/dev/null; then
  exec unshare --user --map-root-user --mount -- sh -c "$inside" private_shm "$uid" "$gid" "$@"
fi
echo "note: no /dev/shm of its own for $1 here (unshare refused): a TVXHandvane running on" \
  "this machine holds the shared memory area that the tests' servers need" >&2
exec "$@"
