#!/usr/bin/env bash
# Whole-process figures of the monitor connected to the simulated agent and idle, in real time
# (no TBX_TIME_SCALE): CPU time, peak resident memory, threads, wake-ups per second, and the
# start-up time from exec to the first heartbeat at the agent. The agent Korvex.exe of the same
# run is the baseline beside it. BENCH_IDLE_SECONDS shortens the idle window (default 60).
set -euo pipefail

build=${1:?usage: monitor_idle.sh BUILD_DIR}
idle_seconds=${BENCH_IDLE_SECONDS:-60}
source_bin="$build/install/korvex/valko_client/bin"
for program in KorvexMonitor.exe Korvex.exe; do
  if [ ! -x "$source_bin/$program" ]; then
    echo "monitor_idle: $source_bin/$program is not built; skipped"
    exit 0
  fi
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvex_bench.XXXXXX")
bin="$tmp/korvex/valko_client/bin"
transcript="$tmp/agent_transcript.jsonl"
agent_pid=""
monitor_pid=""
cleanup() {
  for pid in $monitor_pid $agent_pid; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$bin"
cp -a "$source_bin/." "$bin/"
rm -rf "$bin/ipc" "$bin/korvex_monitor_log" "$bin/report" "$bin"/*.run "$bin"/*.dmp \
  "$bin/MonitorError.data" "$bin/Error.dat" "$bin/monitor_pid.txt"
unset TBX_TIME_SCALE TBX_STANDIN_FAIL TBX_IPC_DIR

wait_for() {  # wait_for SECONDS COMMAND...: polls until the command succeeds
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || { echo "monitor_idle: gave up waiting for: $*" >&2; exit 1; }
    sleep 0.01
  done
}

clock_ticks=$(getconf CLK_TCK)
# CPU time of a process in milliseconds (utime + stime).
cpu_ms() { sed 's/^.*) //' "/proc/$1/stat" | awk -v hz="$clock_ticks" '{print ($12 + $13) * 1000 / hz}'; }
status_kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }
# Context switches (voluntary and not) summed over the process's threads: its wake-ups.
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ {sum += $2} END {print sum}'
}
# Milliseconds since the epoch of a transcript time such as 2024-05-01T12:00:00.123Z.
transcript_ms() { echo $(($(date -d "$1" +%s%N) / 1000000)); }

"$bin/Korvex.exe" --no-stdin --transcript "$transcript" >/dev/null 2>"$tmp/agent_stderr.txt" &
agent_pid=$!
wait_for 30 grep -qs '"event":"listening"' "$transcript"

start_ms=$(($(date +%s%N) / 1000000))
(cd "$tmp" && exec "$bin/KorvexMonitor.exe") >/dev/null 2>&1 &
monitor_pid=$!
wait_for 60 grep -qs 'T_MSG_KORVEXMONITOR_IPC_HEART' "$transcript"
beat_line=$(grep -m1 'T_MSG_KORVEXMONITOR_IPC_HEART' "$transcript")
[[ $beat_line =~ \"time\":\"([^\"]+)\" ]]
startup_ms=$(($(transcript_ms "${BASH_REMATCH[1]}") - start_ms))

# Context switches per thread of the monitor, "name switches" per line.
thread_switches() {
  for task in /proc/"$1"/task/*; do
    awk -v name="$(cat "$task/comm" 2>/dev/null)" \
      '/^(voluntary|nonvoluntary)_ctxt_switches:/ {sum += $2} END {print name, sum}' \
      "$task/status" 2>/dev/null || true
  done
}

declare -A cpu0 sw0
for who in monitor agent; do
  pid_var=${who}_pid
  cpu0[$who]=$(cpu_ms "${!pid_var}")
  sw0[$who]=$(switches "${!pid_var}")
done
thread_switches "$monitor_pid" >"$tmp/threads_before.txt"
sleep "$idle_seconds"
kill -0 "$monitor_pid" 2>/dev/null || { echo "monitor_idle: the monitor ended while idle" >&2; exit 1; }

declare -A cpu total hwm threads wakeups
for who in monitor agent; do
  pid_var=${who}_pid
  pid=${!pid_var}
  total[$who]=$(awk -v a="$(cpu_ms "$pid")" 'BEGIN {printf "%.0f", a}')
  cpu[$who]=$(awk -v a="$(cpu_ms "$pid")" -v b="${cpu0[$who]}" 'BEGIN {printf "%.0f", a - b}')
  hwm[$who]=$(status_kib "$pid" VmHWM)
  threads[$who]=$(status_kib "$pid" Threads)
  wakeups[$who]=$(awk -v a="$(switches "$pid")" -v b="${sw0[$who]}" -v s="$idle_seconds" \
    'BEGIN {printf "%.1f", (a - b) / s}')
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.1fx", a / b; else print "-"}'; }
row() { printf '%-36s %18s %18s %8s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }

echo "Whole process, connected and idle for ${idle_seconds} s in real time"
printf '%-36s %18s %18s %8s\n' "figure" "KorvexMonitor.exe" "Korvex.exe (base)" "ratio"
row "CPU time while idle (ms)" "${cpu[monitor]}" "${cpu[agent]}"
row "CPU time since exec (ms)" "${total[monitor]}" "${total[agent]}"
row "peak resident memory, VmHWM (KiB)" "${hwm[monitor]}" "${hwm[agent]}"
row "threads" "${threads[monitor]}" "${threads[agent]}"
row "wake-ups per second" "${wakeups[monitor]}" "${wakeups[agent]}"
printf '%-36s %18s %18s %8s\n' "exec to first heartbeat at agent (ms)" "$startup_ms" "-" "-"

echo
echo "Monitor wake-ups per second by thread while idle"
thread_switches "$monitor_pid" >"$tmp/threads_after.txt"
awk -v s="$idle_seconds" 'NR == FNR {before[$1] += $2; next} {after[$1] += $2}
  END {for (name in after) printf "  %-16s %6.1f\n", name, (after[name] - before[name]) / s}' \
  "$tmp/threads_before.txt" "$tmp/threads_after.txt" | sort -k2 -nr
