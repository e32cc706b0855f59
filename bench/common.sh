# What the benchmark scripts share. Sourced.

# start_pulse FOLDER: a private PulseAudio with a null sink, its socket in
# FOLDER/pulse; sets pulse_pid, and sound_env to the environment that sends
# the demo's sound there.
start_pulse() {
  local dir=$1/pulse
  mkdir -p "$dir/home"
  cat >"$dir/default.pa" <<CONF
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=nullsink rate=44100 channels=2
set-default-sink nullsink
CONF
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir" pulseaudio -n -F "$dir/default.pa" \
    --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$dir/log" &
  pulse_pid=$!
  for _ in $(seq 50); do [ -S "$dir/native" ] && break; sleep 0.1; done
  sound_env=(PULSE_SERVER="unix:$dir/native" SDL_AUDIODRIVER=pulseaudio)
}

# Processor time so far, in clock ticks (hz a second), of process $1 and its
# threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)
