# The loopback servers of the net scripts, sourced by them. Needs $here (the top of the kit) and
# $work (where the port files, logs and outputs go). Every server started here is ended by its
# process id: stop_servers ends them all (the scripts trap EXIT with it), stop_server one.
python=/usr/bin/python3  # Debian's own: it sees python3-pyftpdlib
pids=()
stop_servers() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}
stop_server() {  # stop_server PID
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  local kept=() pid
  for pid in "${pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  pids=("${kept[@]}")
}
# start_server NAME SCRIPT ARGS...: SCRIPT of tests/servers/ with ARGS (--folder, --port, ...);
# returns once it listens, having written the port it took into $work/NAME.port.
start_server() {
  local name=$1 script=$2
  shift 2
  rm -f "$work/$name.port"
  "$python" "$here/tests/servers/$script" --port-file "$work/$name.port" --log "$work/$name.log" \
    "$@" >>"$work/$name.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    [ -s "$work/$name.port" ] && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "FAILED: the $name server did not start:"
  cat "$work/$name.out"
  exit 1
}
