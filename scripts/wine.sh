#!/usr/bin/env bash
# The Wine test host. Runs a Windows program in a private Wine prefix (never the user's own), with the
# Windows version the caller asks for, quiet Wine debugging, an Xvfb display when there is none, a time
# limit, and cleanup of every process it started.
#
#   scripts/wine.sh [options] [--] PROGRAM [ARGS...]
#     --arch ARCH       win64 (default): a 64-bit prefix, build/wineprefix, where a 32-bit program
#                       meets 64-bit Windows ("Program Files (x86)", registry views);
#                       win32: a 32-bit prefix, build/wineprefix32, the 32-bit Windows of old
#     --prefix DIR      the Wine prefix (default: by --arch); ARCH applies when it is made
#     --version VER     win95 win98 winme nt40 win2k winxp win7 win10 (default: winxp)
#     --timeout SEC     end the program after SEC seconds (default: 600); exit code 124 then
#     --desktop WxH     run inside a Wine desktop window of that size (frames for screenshots)
#     --screenshot F    after --shot-delay seconds, save a screenshot of the display into F (PNG)
#     --shot-delay SEC  (default: 5)
#     --shot-drawn      take the screenshot once a window has been drawn on the display (the picture
#                       holds more than a few colours), at the latest after --shot-delay seconds
#     --shot-end        end the program once the screenshot is taken; the exit code is then 0 when
#                       the picture was saved
#     --keep-display    use the current $DISPLAY even when it is set (default: own Xvfb always)
#   scripts/wine.sh --stop [--arch ARCH | --prefix DIR]   ends the prefix's wineserver and our Xvfb
#
# The exit code is the program's.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
prefix=""
arch=win64
version=winxp
timeout_s=600
desktop=""
screenshot=""
shot_delay=5
shot_drawn=0
shot_end=0
keep_display=0
stop=0

while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --desktop) desktop=$2; shift 2 ;;
    --screenshot) screenshot=$2; shift 2 ;;
    --shot-delay) shot_delay=$2; shift 2 ;;
    --shot-drawn) shot_drawn=1; shift ;;
    --shot-end) shot_end=1; shift ;;
    --keep-display) keep_display=1; shift ;;
    --stop) stop=1; shift ;;
    --) shift; break ;;
    -*) echo "wine.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done

case "$arch" in
  win64) [ -n "$prefix" ] || prefix="$here/build/wineprefix" ;;
  win32) [ -n "$prefix" ] || prefix="$here/build/wineprefix32" ;;
  *) echo "wine.sh: unknown architecture '$arch' (win32 win64)" >&2; exit 2 ;;
esac

case "$version" in
  win95|win98|winme|nt40|win2k|winxp|win7|win10) ;;
  *) echo "wine.sh: unknown Windows version '$version' (win95 win98 winme nt40 win2k winxp win7 win10)" >&2; exit 2 ;;
esac

for tool in wine wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "wine.sh: '$tool' is missing: run scripts/install-deps.sh (or 'make test', which runs it)" >&2
    exit 2
  fi
done

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
export WINEPREFIX="$prefix/prefix"
# TMBY_WINEDEBUG, when set, replaces the quiet default; "+server,+pid", say, prints every request
# a process makes of the Wine server on standard error.
export WINEDEBUG=${TMBY_WINEDEBUG:--all}
# TMBY_WINEDLLOVERRIDES adds the caller's own (a test switching a library off: "wininet=d").
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${TMBY_WINEDLLOVERRIDES:+;$TMBY_WINEDLLOVERRIDES}"
state="$prefix/state"
mkdir -p "$state"

stop_all() {
  WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" >/dev/null 2>&1
    rm -f "$state/xvfb.pid" "$state/xvfb.display"
  fi
}

if [ $stop = 1 ]; then
  stop_all
  exit 0
fi

if [ $# -eq 0 ]; then
  echo "wine.sh: no program given" >&2
  exit 2
fi

# The display: our own Xvfb, started once per prefix and reused by later runs.
start_xvfb() {
  if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
    export DISPLAY=$(cat "$state/xvfb.display")
    return 0
  fi
  if ! command -v Xvfb >/dev/null; then
    echo "wine.sh: no display and Xvfb is missing: run scripts/install-deps.sh" >&2
    return 1
  fi
  local n
  for n in $(seq 90 140); do
    # A display whose server was killed leaves its lock and socket behind: such a number is free.
    if [ -f "/tmp/.X$n-lock" ] && ! kill -0 "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" 2>/dev/null; then
      rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    fi
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    local pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 $pid 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      echo $pid >"$state/xvfb.pid"
      echo ":$n" >"$state/xvfb.display"
      export DISPLAY=":$n"
      return 0
    fi
    kill $pid 2>/dev/null
  done
  echo "wine.sh: could not start Xvfb (see $state/xvfb.log)" >&2
  return 1
}

if [ $keep_display = 0 ] || [ -z "${DISPLAY:-}" ]; then
  start_xvfb || exit 2
fi

# The prefix: created on first use.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  if ! WINEARCH=$arch timeout 180 wineboot -i >"$state/wineboot.log" 2>&1; then
    echo "wine.sh: the Wine prefix $WINEPREFIX failed to start (log: $state/wineboot.log); remove it and retry, or reinstall wine with scripts/install-deps.sh" >&2
    stop_all
    exit 2
  fi
  timeout 60 wineserver -w
fi

# The Windows version, set only when it changes. A wineserver left from another version makes
# programs in 9x mode fail to create windows and child programs end early: end it after the switch.
if [ "$(cat "$state/version" 2>/dev/null)" != "$version" ]; then
  if ! timeout 120 wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >"$state/reg.log" 2>&1; then
    echo "wine.sh: could not set the Windows version to $version (log: $state/reg.log)" >&2
    exit 2
  fi
  echo "$version" >"$state/version"
  wineserver -k >/dev/null 2>&1
  timeout 60 wineserver -w >/dev/null 2>&1
fi

cmd=(wine "$@")
if [ -n "$desktop" ]; then
  cmd=(wine explorer "/desktop=tmby,$desktop" "$@")
fi

if [ -n "$screenshot" ]; then
  timeout --kill-after=10 "$timeout_s" "${cmd[@]}" &
  pid=$!
  mkdir -p "$(dirname "$screenshot")"
  if [ $shot_drawn = 1 ]; then
    # An empty desktop is one or two colours; a drawn window brings text, frames and icons. Once
    # one shows, a second more lets it finish painting.
    for _ in $(seq 1 "$shot_delay"); do
      sleep 1
      import -display "$DISPLAY" -window root "$screenshot" 2>/dev/null || continue
      [ "$(convert "$screenshot" -format '%k' info: 2>/dev/null || echo 0)" -gt 16 ] && { sleep 1; break; }
    done
  else
    sleep "$shot_delay"
  fi
  shot=0
  import -display "$DISPLAY" -window root "$screenshot" 2>"$state/import.log" && shot=1 ||
    echo "wine.sh: screenshot failed (log: $state/import.log)" >&2
  if [ $shot_end = 1 ]; then
    WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1
    wait $pid
    exit $((1 - shot))
  fi
  wait $pid
  rc=$?
else
  timeout --kill-after=10 "$timeout_s" "${cmd[@]}"
  rc=$?
fi
if [ $rc = 124 ] || [ $rc = 137 ]; then
  echo "wine.sh: '$*' did not end within $timeout_s s and was stopped" >&2
  WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1
fi
exit $rc
