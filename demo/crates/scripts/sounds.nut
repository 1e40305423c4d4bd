// The demo's sounds (made by demo/tools/make_sounds.py): each loaded once on first use and
// played on a free channel of the current mixer at the given gain. Included by the scripts
// that play them.
if (!("g_sounds" in getroottable())) ::g_sounds <- {};

function DemoPlaySound(name, gain) {
  if (!(name in ::g_sounds)) ::g_sounds[name] <- EngineLoadSound(::g_engine, "sounds/" + name + ".wav");
  if (!ObjectIsValid(::g_sounds[name])) return -1;
  local channel = MixerSoundStart(::g_mixer, ::g_sounds[name]);
  MixerChannelSetGain(::g_mixer, channel, gain);
  return channel;
}

// The music loops on a stream of its own; -1 when it cannot start (the setters skip -1).
function DemoStartMusic() {
  local channel = MixerStreamStart(::g_mixer, "sounds/music.ogg");
  MixerChannelSetLoopMode(::g_mixer, channel, LoopRepeat);
  MixerChannelSetGain(::g_mixer, channel, 0.5);
  return channel;
}
