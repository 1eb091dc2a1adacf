# Sourced first by the scripts that build a LAN of network namespaces. Root builds it
# directly. An ordinary user becomes root of a user namespace of its own and builds it there:
# the servers need more ids than the user's one (smbd sets its groups and becomes its guest
# account), so the ids given to the user in /etc/subuid and /etc/subgid are mapped, which
# takes newuidmap and newgidmap. /run, where the network namespaces are named, is private to
# a mount namespace of the script's own, with the folder where nmbd keeps its socket; the
# script starts in a network namespace of its own too, as `ip netns` returns to the one it
# started in, which it may enter only when that belongs to the user namespace. Without those
# ids the script is skipped (77).
if [ "$(id -u)" -ne 0 ]; then
  if [ -z "${TAMSEL_LAN_USER_NAMESPACE:-}" ] &&
     unshare --user --map-auto true 2>/dev/null; then
    exec env TAMSEL_LAN_USER_NAMESPACE=1 unshare --user --map-auto --mount --net \
      --propagation private -- sh -c 'mount -t tmpfs tamsel-lan /run && mkdir /run/samba && exec "$0" "$@"' "$0" "$@"
  fi
  echo "SKIP: the test LAN needs root, or ids of the user's own in /etc/subuid and /etc/subgid" \
       "with newuidmap and newgidmap to run the servers in a user namespace"
  exit 77
fi
