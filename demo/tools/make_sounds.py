#!/usr/bin/env python3
"""Writes the demo's sounds, all generated here: 16-bit mono WAV effects at 48000 Hz and a short
music loop, encoded to Ogg Vorbis with oggenc (Debian's vorbis-tools).

  thud.wav   a body landing: a low knock falling in pitch, with a little grit
  lift.wav   the lift arriving: a two-note chime
  kick.wav   the ball kicked: a short bright pop
  music.ogg  an eight-second loop: a slow arpeggio over a soft bass (stereo, 44100 Hz)
"""
import math
import os
import random
import struct
import subprocess
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "crates", "sounds")
RATE = 48000


def write_wav(path, rate, channels, samples):
    """samples: floats in -1..1, interleaved."""
    frames = b"".join(struct.pack("<h", max(-32767, min(32767, int(round(s * 32767))))) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(frames)


def thud():
    rng = random.Random(7)
    n = int(RATE * 0.35)
    out, phase = [], 0.0
    for i in range(n):
        t = i / RATE
        f = 55 + 90 * math.exp(-t * 18)
        phase += 2 * math.pi * f / RATE
        env = math.exp(-t * 11) * min(1.0, t * 400)
        out.append(0.85 * env * math.sin(phase) + 0.12 * env * math.exp(-t * 40) * rng.uniform(-1, 1))
    return out


def chime():
    n = int(RATE * 0.6)
    out = []
    for i in range(n):
        t = i / RATE
        v = 0.0
        for start, f in ((0.0, 659.25), (0.18, 523.25)):
            if t >= start:
                u = t - start
                v += 0.35 * math.exp(-u * 6) * min(1.0, u * 300) * (math.sin(2 * math.pi * f * u) + 0.3 * math.sin(4 * math.pi * f * u))
        out.append(v)
    return out


def pop():
    n = int(RATE * 0.15)
    out, phase = [], 0.0
    for i in range(n):
        t = i / RATE
        f = 900 * math.exp(-t * 25) + 180
        phase += 2 * math.pi * f / RATE
        out.append(0.8 * math.exp(-t * 30) * min(1.0, t * 800) * math.sin(phase))
    return out


def music():
    rate = 44100
    seconds = 8.0
    n = int(rate * seconds)
    notes = [220.0, 277.18, 329.63, 440.0, 329.63, 277.18, 246.94, 329.63]
    bass = [110.0, 110.0, 92.5, 98.0]
    beat = seconds / (len(notes) * 2)
    out = []
    for i in range(n):
        t = i / rate
        k = int(t / beat)
        u = t - k * beat
        f = notes[k % len(notes)]
        lead = 0.22 * math.exp(-u * 5) * min(1.0, u * 200) * math.sin(2 * math.pi * f * t)
        b = bass[int(t / (seconds / len(bass))) % len(bass)]
        # The bass fades in and out over each of its notes, so the loop joins without a click.
        w = (t % (seconds / len(bass))) / (seconds / len(bass))
        low = 0.18 * math.sin(math.pi * w) * math.sin(2 * math.pi * b * t)
        out.append(lead * 0.8 + low)            # left: more bass
        out.append(lead + low * 0.8)            # right: more lead
    return rate, out


def main():
    os.makedirs(OUT, exist_ok=True)
    write_wav(os.path.join(OUT, "thud.wav"), RATE, 1, thud())
    write_wav(os.path.join(OUT, "lift.wav"), RATE, 1, chime())
    write_wav(os.path.join(OUT, "kick.wav"), RATE, 1, pop())
    rate, samples = music()
    with tempfile.TemporaryDirectory() as tmp:
        wav_path = os.path.join(tmp, "music.wav")
        write_wav(wav_path, rate, 2, samples)
        subprocess.run(["oggenc", "-Q", "-q", "0", "--serial", "4242", "-o", os.path.join(OUT, "music.ogg"), wav_path], check=True)


if __name__ == "__main__":
    main()
