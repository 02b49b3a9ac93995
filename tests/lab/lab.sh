#!/usr/bin/env bash
# A throw-away network of namespaces for tracing tests (addresses from
# 198.18.0.0/15 only, no default routes, so no probe can leave it).
#
#   tests/lab/lab.sh run [--closed-ping-group] -- CMD [ARG...]
#
# Builds the lab, runs CMD as root in the client namespace and exits with
# CMD's status; everything is removed on exit, even on SIGKILL (the lab lives
# in a private mount namespace whose /run/netns and /etc/netns are tmpfs).
# Exits 77 (skipped) where namespaces cannot be made.
#
# CMD gets: LAB_TOPOLOGY (file describing every route, see below), LAB_CLIENT_NS,
# LAB_TARGET, LAB_UNREACHABLE, LAB_LOOP, LAB_BENCH, LAB_NOHOST, LAB_PING_GROUP
# ("open": net.ipv4.ping_group_range is "0 2147483647" in the client, so
# unprivileged users get datagram ICMP sockets; "closed": "1 0", so only root's
# raw socket works).
#
# Topology (client c; routers answer from the address facing the client):
#   c - r1 - r2 - r3 (never sends time-exceeded) - r4 - r5 - r6 - target      7 hops
#             \- b3 - b4 - b5 - b6 - b7 - b8 - b9 - bench                     10 hops
#   unreachable: b4 has an `unreachable` route for it (ICMP 3/1 from b4)
#   loop:        b4 and b5 route it to each other
#   nohost:      on b9's last link, no such neighbour (ICMP 3/1 from b9 after ~0.1 s)
# Routers send only ~5 errors for an `unreachable` route in a burst, then one
# a second: each lab run gets that budget afresh.
set -euo pipefail

usage() { echo "usage: $0 run [--closed-ping-group] -- CMD [ARG...]" >&2; exit 2; }
skip() { echo "SKIPPED: $*" >&2; exit 77; }

[ "${1:-}" = run ] || usage
shift
ping_group=open
while [ $# -gt 0 ]; do
  case $1 in
    --closed-ping-group) ping_group=closed; shift ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

if [ -z "${HOPSIGHT_LAB_INSIDE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || skip "the lab needs root (network namespaces)"
  for tool in ip nft unshare setpriv; do command -v $tool >/dev/null || skip "$tool is not installed"; done
  unshare --mount --propagation private true 2>/dev/null || skip "cannot make a mount namespace"
  mkdir -p /run/netns /etc/netns
  export HOPSIGHT_LAB_INSIDE=1
  args=(run)
  [ $ping_group = closed ] && args+=(--closed-ping-group)
  exec unshare --mount --propagation private -- "$0" "${args[@]}" -- "$@"
fi

# Inside the private mount namespace from here on.
mount -t tmpfs -o mode=755 hopsight-lab /run/netns
mount -t tmpfs -o mode=755 hopsight-lab /etc/netns
prefix="hs$$-"
lab_dir=$(mktemp -d /tmp/hopsight-lab.XXXXXX)
namespaces=()

teardown() {
  set +e
  # Whatever still runs in a lab namespace (a test's own children) goes first.
  local proc ns
  for proc in /proc/[0-9]*; do
    for ns in "${namespaces[@]}"; do
      if [[ $proc/ns/net -ef /run/netns/$ns ]]; then kill -9 "${proc#/proc/}" 2>/dev/null; break; fi
    done
  done
  ip -all netns delete 2>/dev/null  # only ours: /run/netns is this lab's own tmpfs
  rm -rf "$lab_dir"
}
trap teardown EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

in_ns() { local n=$1; shift; ip netns exec "$prefix$n" "$@"; }

# The lab is made with a few `ip -batch` runs rather than one `ip` per step:
# on a busy machine each process costs tens of milliseconds.
routers=(r1 r2 r3 r4 r5 r6 b3 b4 b5 b6 b7 b8 b9)
all=(c "${routers[@]}" target bench)
# UP DOWN N: a veth pair, "dN" in UP with 198.18.N.1/24, "u" in DOWN with 198.18.N.2/24.
links=("c r1 1" "r1 r2 2" "r2 r3 3" "r3 r4 4" "r4 r5 5" "r5 r6 6" "r6 target 7"
       "r2 b3 13" "b3 b4 14" "b4 b5 15" "b5 b6 16" "b6 b7 17" "b7 b8 18" "b8 b9 19" "b9 bench 20")
declare -A setup  # ip commands per namespace
routes=()
made=""  # namespaces and veth pairs
for n in "${all[@]}"; do
  namespaces+=("$prefix$n")
  made+="netns add $prefix$n"$'\n'
  setup[$n]="link set lo up"$'\n'
done
for l in "${links[@]}"; do
  read -r up down n <<< "$l"
  made+="link add d$n netns $prefix$up type veth peer name u netns $prefix$down"$'\n'
  setup[$up]+="addr add 198.18.$n.1/24 dev d$n"$'\n'"link set d$n up"$'\n'
  setup[$down]+="addr add 198.18.$n.2/24 dev u"$'\n'"link set u up"$'\n'
  # Everything goes towards the client over "u", except what each router forwards.
  [ "$down" != r1 ] && routes+=("$down 198.18.1.0/24 via 198.18.$n.1")
done
printf '%s' "$made" | ip -batch - >/dev/null 2>&1 || skip "cannot make network namespaces"

route() { routes+=("$*"); }
route c 198.18.0.0/15 via 198.18.1.2
route r1 198.18.0.0/15 via 198.18.2.2
route r2 198.18.7.0/24 via 198.18.3.2
route r2 198.18.20.0/24 via 198.18.13.2
route r2 198.19.0.0/16 via 198.18.13.2
route r3 198.18.7.0/24 via 198.18.4.2
route r4 198.18.7.0/24 via 198.18.5.2
route r5 198.18.7.0/24 via 198.18.6.2
route b3 198.18.20.0/24 via 198.18.14.2
route b3 198.19.0.0/16 via 198.18.14.2
route b4 198.18.20.0/24 via 198.18.15.2
route b4 unreachable 198.19.1.0/24
route b4 198.19.2.0/24 via 198.18.15.2
route b5 198.19.2.0/24 via 198.18.15.1
route b5 198.18.20.0/24 via 198.18.16.2
route b6 198.18.20.0/24 via 198.18.17.2
route b7 198.18.20.0/24 via 198.18.18.2
route b8 198.18.20.0/24 via 198.18.19.2
for r in "${routes[@]}"; do
  read -r n rest <<< "$r"
  setup[$n]+="route add $rest"$'\n'
done
for n in "${all[@]}"; do printf '%s' "${setup[$n]}" | ip -n "$prefix$n" -batch -; done

# Forwarding, ICMP errors without rate limits, no reverse-path filter (the
# loop sends packets back the way they came) and quick neighbour failure, in
# every namespace of the lab (harmless in the end hosts).
ip -all netns exec sh -c '
  echo 1 > /proc/sys/net/ipv4/ip_forward; echo 0 > /proc/sys/net/ipv4/icmp_ratemask
  for f in /proc/sys/net/ipv4/conf/*/rp_filter; do echo 0 > "$f"; done
  for d in /proc/sys/net/ipv4/neigh/*; do
    echo 1 > "$d/mcast_solicit"; echo 100 > "$d/retrans_time_ms"
  done' >/dev/null

# r3 forwards but never says that a probe expired there.
in_ns r3 nft -f - <<'NFT'
table inet hopsight_lab {
  chain output {
    type filter hook output priority 0; policy accept;
    icmp type time-exceeded drop
  }
}
NFT

if [ $ping_group = open ]; then
  in_ns c sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
fi

# Names of the hops, seen only inside the client namespace.
client=${prefix}c
mkdir -p "/etc/netns/$client"
{
  echo "127.0.0.1 localhost"
  for r in r1 r2 r3 r4 r5 r6; do echo "198.18.${r#r}.2 $r.lab.test"; done
  for b in b3 b4 b5 b6 b7 b8 b9; do echo "198.18.$((10 + ${b#b})).2 $b.lab.test"; done
  echo "198.18.7.2 target.lab.test"
  echo "198.18.20.2 bench.lab.test"
} > "/etc/netns/$client/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' > "/etc/netns/$client/resolv.conf"

# The description the tests compare against: for every destination, what an
# echo request with TTL n gets (address 0.0.0.0 = no answer).
declare -A names
while read -r address name; do names[$address]=$name; done < "/etc/netns/$client/hosts"
hop() {  # hop N ADDRESS STATUS
  echo "hop $1 $2 ${names[$2]:--} $3"
}
{
  echo "# route NAME DESTINATION, then hop TTL ADDRESS NAME STATUS per TTL"
  echo "route target 198.18.7.2"
  hop 1 198.18.1.2 11013; hop 2 198.18.2.2 11013; hop 3 0.0.0.0 11010
  hop 4 198.18.4.2 11013; hop 5 198.18.5.2 11013; hop 6 198.18.6.2 11013; hop 7 198.18.7.2 0
  echo "route bench 198.18.20.2"
  hop 1 198.18.1.2 11013; hop 2 198.18.2.2 11013
  for i in 3 4 5 6 7 8 9; do hop $i 198.18.$((10 + i)).2 11013; done
  hop 10 198.18.20.2 0
  echo "route unreachable 198.19.1.1"
  hop 1 198.18.1.2 11013; hop 2 198.18.2.2 11013; hop 3 198.18.13.2 11013; hop 4 198.18.14.2 11003
  echo "route loop 198.19.2.1"
  hop 1 198.18.1.2 11013; hop 2 198.18.2.2 11013; hop 3 198.18.13.2 11013
  for i in 4 5 6 7 8 9 10 11 12; do
    if ((i % 2 == 0)); then hop $i 198.18.14.2 11013; else hop $i 198.18.15.2 11013; fi
  done
  echo "route nohost 198.18.20.99"
  hop 1 198.18.1.2 11013; hop 2 198.18.2.2 11013
  for i in 3 4 5 6 7 8 9; do hop $i 198.18.$((10 + i)).2 11013; done
  hop 10 198.18.19.2 11003
} > "$lab_dir/topology.txt"
chmod 755 "$lab_dir"

set +e
# CMD dies with this script, so a killed run leaves nothing behind.
ip netns exec "$client" setpriv --pdeathsig KILL -- env \
  LAB_TOPOLOGY="$lab_dir/topology.txt" LAB_CLIENT_NS="$client" LAB_PING_GROUP=$ping_group \
  LAB_TARGET=198.18.7.2 LAB_BENCH=198.18.20.2 LAB_UNREACHABLE=198.19.1.1 LAB_LOOP=198.19.2.1 \
  LAB_NOHOST=198.18.20.99 "$@"
status=$?
exit $status
