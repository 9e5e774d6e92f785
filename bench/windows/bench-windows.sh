#!/usr/bin/env bash
# The monitor on both targets in one run: the Linux build natively and a Windows build (the PE32
# or the PE32+ tree) under Wine, each with its own Korvex.exe, in real time (no TBX_TIME_SCALE).
# Per target: exec to the first heartbeat at the agent; delivered echo answers per second from a
# full send list (a burst of echo requests whose answers queue in the monitor's send list) against
# the 400/s pacing ceiling; CPU time and memory while connected and idle. Windows figures are read
# inside Wine (ProcessProbe.exe: GetProcessTimes, GetProcessMemoryInfo) and, beside them, from
# Linux's accounting of the same Wine process. Ratios are Windows over Linux. Beside them, the
# pacing pause itself inside Wine (PacingProbe.exe: the send thread's 5 ms msleep, and the system's
# Sleep(5) for comparison) and the delivery ceiling it allows. Asserts nothing.
#   bench-windows.sh LINUX_BUILD WINDOWS_BUILD; BENCH_IDLE_SECONDS (default 60), BENCH_ECHOES
#   (default 200: 20 s of answering while the agent is away).
set -euo pipefail

linux_build=${1:?usage: bench-windows.sh LINUX_BUILD WINDOWS_BUILD}
windows_build=$(cd "${2:?usage: bench-windows.sh LINUX_BUILD WINDOWS_BUILD}" && pwd)
idle_seconds=${BENCH_IDLE_SECONDS:-60}
echoes=${BENCH_ECHOES:-200}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../scripts/wine-run"
probe="$windows_build/bench/ProcessProbe.exe"
pacing_probe="$windows_build/bench/PacingProbe.exe"
export KORVEX_WINDOWS_BUILD=$windows_build
export WINEPREFIX=${WINEPREFIX:-$windows_build/wineprefix-bench}
unset TBX_TIME_SCALE TBX_STANDIN_FAIL TBX_IPC_DIR

tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvex_bench_windows.XXXXXX")
pids=()
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in "${pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

wait_for() {  # wait_for SECONDS COMMAND...: polls until the command succeeds
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || { echo "bench-windows: gave up waiting for: $*" >&2; exit 1; }
    sleep 0.01
  done
}
count_at_least() { [ "$(grep -c "$2" "$1" 2>/dev/null || true)" -ge "$3" ]; }
transcript_ms() { echo $(($(date -d "$1" +%s%N) / 1000000)); }
time_of() {  # time_of LINE: the transcript time of a line in ms since the epoch
  [[ $1 =~ \"time\":\"([^\"]+)\" ]]
  transcript_ms "${BASH_REMATCH[1]}"
}
clock_ticks=$(getconf CLK_TCK)
linux_cpu_ms() { sed 's/^.*) //' "/proc/$1/stat" | awk -v hz="$clock_ticks" '{printf "%.0f", ($12 + $13) * 1000 / hz}'; }
linux_kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }
probe_field() { sed -n "s/.*$2=\([0-9]*\).*/\1/p" <<<"$1"; }

declare -A fig
# measure TARGET: fills fig[TARGET.*].
measure() {
  local target=$1 build bin transcript run=()
  if [ "$target" = windows ]; then
    build=$windows_build
    run=(bash "$wine_run")
  else
    build=$linux_build
  fi
  bin="$tmp/$target/korvex/valko_client/bin"
  transcript="$tmp/$target/agent_transcript.jsonl"
  mkdir -p "$bin"
  cp -a "$build/install/korvex/valko_client/bin/." "$bin/"
  rm -rf "$bin/ipc" "$bin/korvex_monitor_log" "$bin/report" "$bin"/*.run "$bin"/*.dmp \
    "$bin/MonitorError.data" "$bin/Error.dat" "$bin/monitor_pid.txt"
  local seen=$transcript
  [ "$target" = windows ] && seen="Z:${transcript//\//\\}"
  mkfifo "$tmp/$target/commands"
  "${run[@]}" "$bin/Korvex.exe" --transcript "$seen" <"$tmp/$target/commands" >/dev/null \
    2>"$tmp/$target/agent_stderr.txt" &
  local agent=$!
  pids+=("$agent")
  exec 3>"$tmp/$target/commands"
  wait_for 60 grep -qs '"event":"listening"' "$transcript"

  local start_ms=$(($(date +%s%N) / 1000000))
  (cd "$tmp/$target" && exec "${run[@]}" "$bin/KorvexMonitor.exe") >/dev/null 2>&1 &
  local monitor=$!
  pids+=("$monitor")
  wait_for 60 grep -qs 'T_MSG_KORVEXMONITOR_IPC_HEART' "$transcript"
  fig[$target.startup]=$(($(time_of "$(grep -m1 T_MSG_KORVEXMONITOR_IPC_HEART "$transcript")") - start_ms))

  # Connected and idle.
  local winpid="" before after
  wait_for 30 test -s "$bin/monitor_pid.txt"
  winpid=$(cat "$bin/monitor_pid.txt")
  local cpu0
  cpu0=$(linux_cpu_ms "$monitor")
  [ "$target" = windows ] && before=$("${run[@]}" "$probe" "$winpid")
  sleep "$idle_seconds"
  kill -0 "$monitor" 2>/dev/null || { echo "bench-windows: the $target monitor ended" >&2; exit 1; }
  fig[$target.cpu_linux]=$(($(linux_cpu_ms "$monitor") - cpu0))
  fig[$target.rss]=$(linux_kib "$monitor" VmRSS)
  fig[$target.hwm]=$(linux_kib "$monitor" VmHWM)
  if [ "$target" = windows ]; then
    after=$("${run[@]}" "$probe" "$winpid")
    fig[$target.cpu_inside]=$(($(probe_field "$after" cpu_ms) - $(probe_field "$before" cpu_ms)))
    # A process's time cannot fall, yet Wine's has been seen to (by 10 ms over an idle minute):
    # it seems to lose the time of threads that end. Such a figure is no figure.
    if [ "${fig[$target.cpu_inside]}" -lt 0 ]; then
      fig[$target.cpu_inside]="n/a"
      cpu_inside_fell=1
    fi
    fig[$target.ws]=$(probe_field "$after" working_set_kib)
    fig[$target.peak_ws]=$(probe_field "$after" peak_working_set_kib)
  fi

  # A backlog in the send list: echo requests arrive at once, then the agent goes away while
  # the monitor answers them (one per 100 ms handler cycle) into its send list; the restarted
  # agent receives the queued answers at the send thread's pace.
  local i batch=""
  for ((i = 0; i < echoes; i++)); do
    batch+="send T_MSG_ECHO {\"n\":$i}"$'\n'
  done
  printf '%s' "$batch" >&3
  wait_for 60 count_at_least "$transcript" 'T_MSG_ECHO_ACK' 1
  printf 'quit\n' >&3
  exec 3>&-
  wait "$agent" 2>/dev/null || true
  wait_for $((echoes / 5 + 60)) count_at_least "$bin/korvex_monitor_log/KorvexMonitor.log" \
    'GetMessage : T_MSG_ECHO' "$echoes"
  local before_restart
  before_restart=$(wc -l <"$transcript")
  rm -f "$tmp/$target/commands"
  mkfifo "$tmp/$target/commands"
  "${run[@]}" "$bin/Korvex.exe" --transcript "$seen" <"$tmp/$target/commands" >/dev/null \
    2>>"$tmp/$target/agent_stderr.txt" &
  agent=$!
  pids+=("$agent")
  exec 3>"$tmp/$target/commands"
  local queued
  queued=$((echoes - $(grep -c T_MSG_ECHO_ACK "$transcript")))
  wait_for 120 bash -c "tail -n +$((before_restart + 1)) '$transcript' | grep -c T_MSG_ECHO_ACK | \
    awk '\$1 >= $queued {ok = 1} END {exit !ok}'"
  tail -n +$((before_restart + 1)) "$transcript" | grep T_MSG_ECHO_ACK >"$tmp/$target/acks.jsonl"
  local first last
  first=$(time_of "$(head -n 1 "$tmp/$target/acks.jsonl")")
  last=$(time_of "$(tail -n 1 "$tmp/$target/acks.jsonl")")
  fig[$target.queued]=$queued
  fig[$target.rate]=$(awk -v n="$queued" -v ms=$((last - first)) 'BEGIN {printf "%.0f", (ms > 0 ? (n - 1) * 1000 / ms : 0)}')

  printf 'stop\n' >&3
  wait_for 30 bash -c "! kill -0 $monitor 2>/dev/null"
  printf 'quit\n' >&3
  exec 3>&-
  wait "$agent" 2>/dev/null || true
}

for built in "$probe" "$pacing_probe"; do
  [ -x "$built" ] || { echo "bench-windows: $built is not built (make build-windows)" >&2; exit 1; }
done
bash "$wine_run"  # the prefix exists before any clock starts
measure linux
measure windows
pacing=$(bash "$wine_run" "$pacing_probe" 200)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0 && a ~ /^[0-9.]+$/) printf "%.2fx", a / b; else print "-"}'; }
row() { printf '%-52s %12s %12s %8s\n' "$1" "$2" "$3" "$(ratio "$3" "$2")"; }
arch=$(sed -n 's/^KORVEX_WINDOWS_ARCH:[A-Z]*=//p' "$windows_build/CMakeCache.txt")
tree_name=$([ "$arch" = x64 ] && echo "PE32+ under 64-bit Wine" || echo "PE32 under 32-bit Wine")
echo "KorvexMonitor.exe on Linux and on Windows ($tree_name, $windows_build), real time;" \
  "idle window ${idle_seconds} s"
printf '%-52s %12s %12s %8s\n' "figure" "linux" "windows" "win/lin"
row "exec to first heartbeat at the agent (ms)" "${fig[linux.startup]}" "${fig[windows.startup]}"
row "queued answers delivered per second (ceiling 400)" "${fig[linux.rate]}" "${fig[windows.rate]}"
row "  of them queued in the send list" "${fig[linux.queued]}" "${fig[windows.queued]}"
row "CPU time idle, GetProcessTimes inside Wine (ms)" "${fig[linux.cpu_linux]}" "${fig[windows.cpu_inside]}"
row "CPU time idle, Linux accounting (ms)" "${fig[linux.cpu_linux]}" "${fig[windows.cpu_linux]}"
if [ "${cpu_inside_fell:-0}" = 1 ]; then
  echo "  (n/a above: the process time Wine reported fell during the window)"
fi
row "working set inside Wine / VmRSS (KiB)" "${fig[linux.rss]}" "${fig[windows.ws]}"
row "peak working set inside Wine / VmHWM (KiB)" "${fig[linux.hwm]}" "${fig[windows.peak_ws]}"
row "VmRSS of the Wine process (KiB)" "${fig[linux.rss]}" "${fig[windows.rss]}"
ms() { awk -v us="$1" 'BEGIN {printf "%.2f", us / 1000}'; }
printf '%-52s %25s\n' "pause msleep(5) of the send thread inside Wine (ms)" \
  "mean $(ms "$(probe_field "$pacing" msleep_mean_us)") max $(ms "$(probe_field "$pacing" msleep_max_us)")"
printf '%-52s %25s\n' "  the system's Sleep(5) for comparison (ms)" \
  "mean $(ms "$(probe_field "$pacing" system_sleep_mean_us)") max $(ms "$(probe_field "$pacing" system_sleep_max_us)")"
printf '%-52s %25s\n' "  ceiling of two messages per pause (msg/s)" \
  "$(awk -v us="$(probe_field "$pacing" msleep_mean_us)" 'BEGIN {printf "%.0f", (us > 0 ? 2e6 / us : 0)}')"
