#!/usr/bin/env bash
# A day of the monitor's life in scaled time: KorvexMonitor.exe and the simulated agent for
# SOAK_HOURS (24) hours at TBX_TIME_SCALE=SOAK_TIME_SCALE (0.001, so 86.4 s), with steady echo
# traffic, the agent restarted every 10 scaled minutes (echo requests in flight and the
# monitor's own messages queued across each outage), and once per scaled hour a burst of echo
# requests far past the receive limit. Prints one table: echoes, heartbeats, drops, and per
# scaled hour the monitor's resident memory, threads, open descriptors and log directory size.
# It measures; it asserts nothing about timing.
#
#   soak.sh BUILD_DIR      (make soak runs it on build/default)
#
# A restart must stay under the monitor's 30 reconnection checks (300 scaled seconds, 0.3 s at
# the default scale); a sanitizer build starts Korvex.exe slowly enough to need
# SOAK_TIME_SCALE=0.005.
set -euo pipefail
export LC_ALL=C  # EPOCHREALTIME with a decimal point

build=${1:?usage: soak.sh BUILD_DIR}
scale=${SOAK_TIME_SCALE:-0.001}
hours=${SOAK_HOURS:-24}
ratio=0.1             # queue_size_ratio: receive limit 3000 x 0.1 = 300 messages
burst_size=1000       # echo requests per hourly burst
echo_gap_us=20000     # one steady echo request every 20 ms of real time
in_flight=5           # echo requests sent just before each agent restart
source_bin="$build/install/korvex/valko_client/bin"
for program in KorvexMonitor.exe Korvex.exe; do
  [ -x "$source_bin/$program" ] || { echo "soak: $source_bin/$program is not built" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvex_soak.XXXXXX")
bin="$tmp/korvex/valko_client/bin"
transcript="$tmp/agent_transcript.jsonl"
agent_pid=""
monitor_pid=""
agent_in=""
cleanup() {
  for pid in $monitor_pid $agent_pid; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -n "${SOAK_KEEP:-}" ] && echo "soak: kept $tmp" || rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$bin"
cp -a "$source_bin/." "$bin/"
rm -rf "$bin/ipc" "$bin/korvex_monitor_log" "$bin/report" "$bin"/*.run "$bin"/*.dmp \
  "$bin/MonitorError.data" "$bin/Error.dat" "$bin/monitor_pid.txt"
echo "queue_size_ratio = $ratio" >"$bin/conf/online_client_conf"
unset TBX_TIME_SCALE TBX_STANDIN_FAIL TBX_IPC_DIR

now_us() { local t=$EPOCHREALTIME; echo $((10#${t/./})); }
# Real microseconds of `$1` scaled seconds.
scaled_us() { awk -v s="$1" -v k="$scale" 'BEGIN {printf "%d", s * k * 1000000}'; }
# A pause without a process per call: a read that times out on a pipe nobody writes to.
exec {pause_fd}<> <(:)
pause() { read -rt "$1" -u "$pause_fd" || true; }
listening() {
  local n
  n=$(grep -cs '"event":"listening"' "$transcript" || true)
  echo "${n:-0}"
}
wait_for_listening() {  # wait_for_listening COUNT
  local deadline=$((SECONDS + 30))
  until [ "$(listening)" -ge "$1" ]; do
    ((SECONDS < deadline)) || { echo "soak: the agent did not listen" >&2; exit 1; }
    pause 0.002
  done
}

agents=0
start_agent() {
  agents=$((agents + 1))
  local fifo="$tmp/agent_in.$agents"
  mkfifo "$fifo"
  "$bin/Korvex.exe" --transcript "$transcript" <"$fifo" >/dev/null 2>>"$tmp/agent_stderr.txt" &
  agent_pid=$!
  exec {agent_in}>"$fifo"
  rm -f "$fifo"
  wait_for_listening "$agents"
}
stop_agent() {
  echo quit >&"$agent_in"
  exec {agent_in}>&-
  wait "$agent_pid" || true
  agent_pid=""
}
monitor_alive() {
  kill -0 "$monitor_pid" 2>/dev/null || {
    echo "soak: the monitor ended after $(($(now_us) - start_us)) us of real time" >&2
    echo "soak: (an agent restart slower than 30 reconnection checks, 300 scaled seconds," \
      "ends it by design: a slow build needs a larger SOAK_TIME_SCALE)" >&2
    tail -5 "$bin"/korvex_monitor_log/*.log >&2 || true
    exit 1
  }
}

declare -a rows
sample() {  # one row of per-hour figures
  local status="/proc/$monitor_pid/status" rss threads fds log_bytes
  rss=$(awk '$1 == "VmRSS:" {print $2}' "$status")
  threads=$(awk '$1 == "Threads:" {print $2}' "$status")
  fds=(/proc/"$monitor_pid"/fd/*)
  log_bytes=$(du -sb "$bin/korvex_monitor_log" | cut -f1)
  rows+=("$(printf '%6s %12s %8s %12s %14s' "$1" "$rss" "$threads" "${#fds[@]}" "$log_bytes")")
}

start_agent
(cd "$tmp" && TBX_TIME_SCALE=$scale exec "$bin/KorvexMonitor.exe") >/dev/null 2>"$tmp/monitor_stderr.txt" &
monitor_pid=$!

# The day starts with the first heartbeat: start-up is over and the monitor is connected.
deadline=$((SECONDS + 60))
until grep -qs 'T_MSG_KORVEXMONITOR_IPC_HEART' "$transcript"; do
  ((SECONDS < deadline)) || { echo "soak: no heartbeat arrived" >&2; exit 1; }
  pause 0.002
done
first_beat=$(grep -m1 'T_MSG_KORVEXMONITOR_IPC_HEART' "$transcript")
[[ $first_beat =~ \"time\":\"([^\"]+)\" ]]
first_beat_us=$(($(date -d "${BASH_REMATCH[1]}" +%s%N) / 1000))
start_us=$(now_us)

hour_us=$(scaled_us 3600)
restart_us=$(scaled_us 600)
outage_s=$(awk -v k="$scale" 'BEGIN {printf "%.3f", 60 * k}')  # a scaled minute
drain_us=$(scaled_us 120)  # after a burst, steady traffic waits for the queue to empty
end_us=$((start_us + hours * hour_us))
next_echo=$((start_us + 2 * restart_us / 10))
next_restart=$((start_us + restart_us))
next_burst=$((start_us + hour_us / 12))  # five scaled minutes into each hour, between restarts
next_sample=$((start_us + hour_us))
quiet_until=0
steady=0
hour=0
sample 0
while :; do
  now=$(now_us)
  ((now < end_us)) || break
  monitor_alive
  if ((now >= next_sample)); then
    hour=$((hour + 1))
    sample "$hour"
    next_sample=$((next_sample + hour_us))
  fi
  if ((now >= next_burst)); then
    burst=""
    for ((i = 0; i < burst_size; i++)); do
      burst+="send T_MSG_ECHO echo-b-$hour-$i"$'\n'
    done
    printf '%s' "$burst" >&"$agent_in"
    quiet_until=$((now + drain_us))
    next_burst=$((next_burst + hour_us))
  fi
  if ((now >= next_restart)); then
    for ((i = 0; i < in_flight; i++)); do
      steady=$((steady + 1))
      echo "send T_MSG_ECHO echo-s-$steady" >&"$agent_in"
    done
    stop_agent
    pause "$outage_s"
    start_agent
    next_restart=$((next_restart + restart_us))
  fi
  if ((now >= next_echo && now >= quiet_until)); then
    steady=$((steady + 1))
    echo "send T_MSG_ECHO echo-s-$steady" >&"$agent_in"
    next_echo=$((now + echo_gap_us))
  fi
  pause 0.002
done
monitor_alive
sample "$hours"
# Two scaled minutes for the last answers and a maintenance report after them, then "stop".
pause "$(awk -v k="$scale" 'BEGIN {printf "%.3f", 120 * k}')"
monitor_alive
stop_us=$(now_us)
echo stop >&"$agent_in"
wait "$monitor_pid" && monitor_status=0 || monitor_status=$?
monitor_pid=""
stop_agent

# ---- the tally ------------------------------------------------------------------------------
# Echo requests the agent wrote to a connected monitor, and the answers that came back.
sent_ids() { grep '"event":"sent"' "$transcript" | grep -v '"clients":0' | grep -o "echo-$1-[0-9-]*" | sort; }
answer_ids() { grep '"event":"frame"' "$transcript" | grep 'T_MSG_ECHO_ACK' | grep -o "echo-$1-[0-9-]*" | sort; }
count() { grep -c . || true; }
declare -A sent answered distinct lost duplicated
for kind in s b; do
  sent[$kind]=$(sent_ids "$kind" | count)
  answered[$kind]=$(answer_ids "$kind" | count)
  distinct[$kind]=$(answer_ids "$kind" | uniq | count)
  lost[$kind]=$(comm -23 <(sent_ids "$kind" | uniq) <(answer_ids "$kind" | uniq) | count)
  duplicated[$kind]=$((answered[$kind] - distinct[$kind]))
done
beats=$(grep '"event":"frame"' "$transcript" | grep -c 'T_MSG_KORVEXMONITOR_IPC_HEART' || true)
# One at start-up, then one every 120 scaled seconds until "stop".
beats_expected=$(awk -v us=$((stop_us - first_beat_us)) -v k="$scale" \
  'BEGIN {printf "%d", 1 + us / (120 * k * 1000000)}')
# The maintenance reports: the receive drop counter is a running total, the send drop
# counter counts since the previous report.
mt_info() {
  grep '"event":"frame"' "$transcript" | grep 'T_MSG_MT_INFO' | grep -o "$1[^0-9]*[0-9]*" |
    grep -o '[0-9]*$' || true
}
receive_drops=$(mt_info korvexmonitor_drop_recv_ipc_msg | tail -1)
send_drops=$(mt_info korvexmonitor_ipc_drop_count | awk '{s += $1} END {print s + 0}')
connections=$(grep -c '"event":"connected"' "$transcript" || true)

echo "Soak: $hours scaled hours at TBX_TIME_SCALE=$scale ($(((stop_us - start_us) / 1000)) ms of real time), build $(basename "$build")"
echo "agent restarts $((agents - 1)), monitor connections $connections, monitor exit status on stop $monitor_status"
echo "receive limit 3000 x $ratio; bursts of $burst_size echo requests once per scaled hour"
echo
printf '%-44s %10s %10s %10s %10s\n' "" sent answered lost duplicated
printf '%-44s %10s %10s %10s %10s\n' "steady echoes (${in_flight} in flight at each restart)" \
  "${sent[s]}" "${answered[s]}" "${lost[s]}" "${duplicated[s]}"
printf '%-44s %10s %10s %10s %10s\n' "burst echoes" "${sent[b]}" "${answered[b]}" "${lost[b]}" "${duplicated[b]}"
echo
printf '%-44s %10s\n' "heartbeats expected" "$beats_expected"
printf '%-44s %10s\n' "heartbeats received" "$beats"
printf '%-44s %10s\n' "receive drops counted by the monitor" "${receive_drops:-0}"
printf '%-44s %10s\n' "send drops counted by the monitor" "$send_drops"
printf '%-44s %10s\n' "drops the bursts must cause (unanswered)" "${lost[b]}"
echo
printf '%6s %12s %8s %12s %14s\n' hour "VmRSS (KiB)" threads descriptors "log dir (B)"
printf '%s\n' "${rows[@]}"
