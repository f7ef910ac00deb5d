#!/usr/bin/env bash
# make bench: the real TVXHandvane beside nginx under wrk, in one run, on the
# report path, and under a class of phones that report as browsers do; the
# report-to-consumer latency; motion to cursor, the shipped page in
# headless chromium driving the cursor of a private Xvfb; and the pointer
# overlay's cost to the whole program (bench/overlay_cost.sh).
#   bench/run_bench.sh BIN_DIR
# BIN_DIR holds the native TVXHandvane, its TVXHandvane.TXT, report_latency,
# phone_class, consumer_load, overlay_frames, TVXBridge, bridge_latency and cursor_watch.
# BENCH_SECONDS (5) sets the length of each wrk and class run, BENCH_REPORTS
# (20000) the reports of the latency run; BENCH_MOTION=0 leaves out the
# motion to cursor, BENCH_LINK=0 the emulated classroom link
# (bench/link/link_bench.sh, which needs root). BENCH_BASE names the earlier
# commit whose build the class also runs against (bench/base_class.sh; by
# default the one the batch route was built on; none leaves it out).
# Both servers run from a temporary folder with their own settings; nothing
# outside it is touched. Figures are for comparing the two servers within one
# run: the ratio says more than the absolute numbers on a shared machine.
set -euo pipefail
bin=$(cd "$1" && pwd)
seconds=${BENCH_SECONDS:-5}
# BENCH_LOADS=none leaves out the wrk runs (the latency alone).
if [ "${BENCH_LOADS:-all}" = none ]; then loads=(); else loads=("close 8" "Keep-Alive 64" "Keep-Alive 1000"); fi
report_path=/tolvex10003000610002000100201

work=$(mktemp -d)
tvx_pid="" nginx_pid=""
cleanup() {
  [ -n "$tvx_pid" ] && kill "$tvx_pid" 2>/dev/null && wait "$tvx_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# 1000 connections need more descriptors than the usual soft limit of 1024.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

port_is_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() {
  local port=$1
  while ! port_is_free "$port"; do port=$((port + 1)); done
  echo "$port"
}
wait_for_port() {
  for _ in $(seq 300); do
    port_is_free "$1" || return 0
    sleep 0.1
  done
  echo "bench: nothing answers on port $1; $2 said:" >&2
  cat "$3" >&2
  return 1
}

tvx_port=$(free_port 18080)
nginx_port=$(free_port $((tvx_port + 1)))

mkdir -p "$work/tvx/www" "$work/tvx/config" "$work/tvx/state" "$work/nginx"
cp "$bin/TVXHandvane" "$bin/TVXHandvane.TXT" "$work/tvx/"
printf '[General]\r\nLog=FALSE\r\nLogLevel=0\r\n[Paths]\r\nPathToWorkingDir=%s\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\nSelectedPointer=0\r\n' \
  "$work/tvx/www" "$work/tvx" "$tvx_port" >"$work/tvx/TVXHandvane.INI"
(cd "$work/tvx" && XDG_CONFIG_HOME="$work/tvx/config" XDG_STATE_HOME="$work/tvx/state" \
  exec ./TVXHandvane --console </dev/null >"$work/tvx/console.txt" 2>&1) &
tvx_pid=$!

cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 2;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    location / { default_type text/plain; return 200 "0000"; }
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!

wait_for_port "$tvx_port" TVXHandvane "$work/tvx/console.txt"
wait_for_port "$nginx_port" nginx "$work/nginx/error.log"

# CPU time (clock ticks) that a process and its children have used so far:
# on a shared machine, CPU per request varies far less than requests per second.
cpu_ticks() {
  local total=0 pid
  for pid in "$1" $(cat "/proc/$1/task/$1/children"); do
    total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
  done
  echo "$total"
}

# Prints "req/s p50_ms p99_ms errors cpu_us_per_request" of one wrk run
# against the server of process pid.
run_wrk() {
  local port=$1 clients=$2 connection=$3 pid=$4 before after
  before=$(cpu_ticks "$pid")
  wrk -t1 -c"$clients" -d"${seconds}s" --latency -H "Connection: $connection" \
    "http://127.0.0.1:$port$report_path" >"$work/wrk.txt" 2>&1 || true
  after=$(cpu_ticks "$pid")
  awk -v ticks=$((after - before)) -v hz="$(getconf CLK_TCK)" '
    function ms(v) {
      if (v ~ /us$/) return v / 1000
      if (v ~ /ms$/) return v + 0
      if (v ~ /m$/) return v * 60000
      if (v ~ /s$/) return v * 1000
      return v
    }
    /requests in/ { requests = $1 }
    /Requests\/sec:/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    /Socket errors:/ { errors += $4 + $6 + $8 + $10 }
    /Non-2xx/ { errors += $5 }
    END { printf "%.0f %.2f %.2f %d %.0f\n", rps, p50, p99, errors, requests ? ticks * 1e6 / hz / requests : 0 }
  ' "$work/wrk.txt"
}

# Prints "answered/s p50_ms p99_ms errors connections cpu_percent" of one
# class run against the server of process pid.
run_class() {
  local port=$1 pid=$2 before after answered p50 p99 errors connections
  before=$(cpu_ticks "$pid")
  read -r answered p50 p99 errors connections < <("$bin/phone_class" "$port" 80 "$seconds" 60)
  after=$(cpu_ticks "$pid")
  awk -v ticks=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    -v line="$answered $p50 $p99 $errors $connections" 'BEGIN { printf "%s %.1f\n", line, ticks / hz / s * 100 }'
}

# The largest RSS (KiB) and thread count of the process while wrk runs.
sample_process() {
  local pid=$1 out=$2 rss=0 threads=0
  while [ -e "$work/sampling" ]; do
    local now_rss now_threads
    now_rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    now_threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
    ((now_rss > rss)) && rss=$now_rss
    ((now_threads > threads)) && threads=$now_threads
    sleep 0.2
  done
  echo "$rss $threads" >"$out"
}

# The memory that idle connections take: each holds a client thread of its
# own. Measured from a quiet server, once the threads that earlier loads left
# waiting have ended; the connections are opened by this shell and send
# nothing. The figure is taken as soon as each has its thread, well within the
# persistence timeout that would end them.
process_status() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
idle_connection_memory() {
  local pid=$1 port=$2 count=$3 base=0 before after threads fd fds=()
  for _ in $(seq 150); do
    (($(process_status "$pid" Threads) <= 4)) && break
    sleep 0.1
  done
  base=$(process_status "$pid" Threads)
  before=$(process_status "$pid" VmRSS)
  for ((i = 0; i < count; i++)); do
    exec {fd}<>"/dev/tcp/127.0.0.1/$port"
    fds+=("$fd")
  done
  for _ in $(seq 100); do
    (($(process_status "$pid" Threads) >= base + count)) && break
    sleep 0.1
  done
  after=$(process_status "$pid" VmRSS)
  threads=$(process_status "$pid" Threads)
  for fd in "${fds[@]}"; do exec {fd}>&-; done
  echo "TVXHandvane with $count idle connections: $(((after - before) / 1024)) MiB more RSS ($(((after - before) / count)) KiB per connection), $((threads - base)) more threads"
}

echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "wrk 1 thread, ${seconds} s per load, path $report_path"
# First, while the server is fresh: the threads that a run of 1000 clients
# leaves behind end during the next seconds and would show in the figures.
"$bin/report_latency" "$work/tvx" "$tvx_port" "${BENCH_REPORTS:-20000}"
"$bin/overlay_frames"
echo "class of 80 phones, each reporting once answered and 1/60 s on, with a browser's headers, ${seconds} s:"
for server in "nginx $nginx_port $nginx_pid" "TVXHandvane $tvx_port $tvx_pid"; do
  read -r name port pid <<<"$server"
  read -r answered p50 p99 errors connections cpu < <(run_class "$port" "$pid")
  printf '  %-12s %s answered/s, p50 %s ms, p99 %s ms, server CPU %s %% of a core, %s connections%s\n' \
    "$name" "$answered" "$p50" "$p99" "$cpu" "$connections" "$( ((errors > 0)) && echo ", $errors errors")"
done
# The consuming application's loop under the same class, its own CPU time:
# a wait that returns for every report, then one that gathers them.
echo "a consumer of the class's reports (its loop of sdk/README.md), ${seconds} s each:"
"$bin/phone_class" "$tvx_port" 80 $((2 * seconds + 3)) 60 >/dev/null &
class_pid=$!
"$bin/consumer_load" "$work/tvx" "$seconds" 2 | sed 's/^/  /'
wait "$class_pid"
# TVXBridge beside the server under the same class: one OSC target and three
# WebSocket clients, one of which reads nothing. Stopped before the wrk runs,
# as it is the area's one reader.
bridge_osc=$(free_port $((nginx_port + 1)))
bridge_ws=$(free_port $((bridge_osc + 1)))
"$bin/TVXBridge" --folder "$work/tvx" --osc "127.0.0.1:$bridge_osc" --ws "$bridge_ws" >"$work/bridge.txt" 2>&1 &
bridge_pid=$!
wait_for_port "$bridge_ws" TVXBridge "$work/bridge.txt"
echo "TVXBridge under the class, ${seconds} s (from a report's send to the server to its OSC datagram or WebSocket frame):"
"$bin/bridge_latency" "$tvx_port" "$bridge_osc" "$bridge_ws" "$bridge_pid" 80 "$seconds" 60 | sed 's/^/  /'
kill "$bridge_pid" && wait "$bridge_pid" 2>/dev/null || true
echo "server CPU time per request in brackets (user + system, all threads and workers)"
printf '%-26s %-40s %-40s %s\n' load nginx TVXHandvane ratio
for load in "${loads[@]}"; do
  read -r connection clients <<<"$load"
  read -r n_rps n_p50 n_p99 n_err n_cpu < <(run_wrk "$nginx_port" "$clients" "$connection" "$nginx_pid")
  touch "$work/sampling"
  sample_process "$tvx_pid" "$work/sample.txt" &
  sampler=$!
  read -r t_rps t_p50 t_p99 t_err t_cpu < <(run_wrk "$tvx_port" "$clients" "$connection" "$tvx_pid")
  rm -f "$work/sampling"
  wait "$sampler"
  read -r rss threads <"$work/sample.txt"
  ratio=$(awk -v t="$t_rps" -v n="$n_rps" 'BEGIN { printf "%.2fx", (n > 0 ? t / n : 0) }')
  printf '%-26s %-40s %-40s %s\n' "$connection, $clients clients" \
    "$n_rps req/s p50 ${n_p50} p99 ${n_p99} ms [${n_cpu} us]" \
    "$t_rps req/s p50 ${t_p50} p99 ${t_p99} ms [${t_cpu} us]" "$ratio"
  ((n_err + t_err > 0)) && echo "  errors: nginx $n_err, TVXHandvane $t_err"
  if [ "$clients" = 1000 ]; then
    echo "  TVXHandvane under $clients clients: $((rss / 1024)) MiB RSS ($((rss / clients)) KiB per connection), $threads threads"
  fi
done

idle_connection_memory "$tvx_pid" "$tvx_port" 1000
# Motion to cursor starts a TVXHandvane of its own: this one gives up the
# shared memory area first.
kill "$tvx_pid" 2>/dev/null && wait "$tvx_pid" 2>/dev/null
tvx_pid=""
repo=$(cd "$(dirname "$0")/.." && pwd)

# The class against this build and an earlier commit's, in turns (BENCH_BASE,
# see bench/base_class.sh; BENCH_BASE=none leaves it out).
if [ "${BENCH_BASE:-}" != none ]; then
  "$repo/bench/base_class.sh" "$bin"
fi
if [ "${BENCH_MOTION:-1}" = 0 ]; then
  :
elif ! command -v Xvfb >/dev/null || [ ! -x /usr/bin/chromium ] || [ ! -d "$repo/web/node_modules/playwright-core" ]; then
  echo "motion to cursor: left out (it needs Xvfb, /usr/bin/chromium and web/node_modules)"
else
  node "$repo/bench/motion_to_cursor.mjs" "$bin"
fi

# The pointer overlay's cost to the whole program, native and, once built
# (make win), under wine.
if command -v Xvfb >/dev/null; then
  "$repo/bench/overlay_cost.sh" "$bin" $([ -e "$repo/build/win/bin/TVXHandvane.exe" ] && echo "$repo/build/win/bin")
fi

# The classroom's Wi-Fi, emulated between two network namespaces: each
# condition starts a TVXHandvane of its own there (BENCH_LINK=0 leaves it out).
if [ "${BENCH_LINK:-1}" != 0 ]; then
  "$repo/bench/link/link_bench.sh" "$bin"
fi

# A phone that holds L loses the cursor (it stops reporting, emulation is
# switched off, the program ends, the display connection breaks) on a
# private Xvfb: every press must have its release.
if command -v Xvfb >/dev/null && [ -x "$bin/mouse_keys_tests" ]; then
  if "$bin/mouse_keys_tests" --gtest_filter='*ReleaseTheButton*' >/dev/null 2>&1; then
    echo "losing the cursor while L is held: every press released"
  else
    echo "losing the cursor while L is held: a press was not released (run $bin/mouse_keys_tests)"
  fi
fi
