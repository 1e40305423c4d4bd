#!/usr/bin/env python3
"""Makes the Ogg Vorbis files the stream tests read: tones generated here, encoded with
oggenc (Debian's vorbis-tools). Run from anywhere; writes beside this script.

  mono22k.ogg      mono, 22050 Hz, 2 s: a rising tone
  stereo48k.ogg    stereo, 48000 Hz, 100 s, low bit rate: a slow sweep, left and right apart
  bigheader.ogg    stereo, 44100 Hz, 1 s, with a 40 KB comment (headers beyond 16 KB)
"""
import math
import os
import struct
import subprocess
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))


def sweep(rate, seconds, channels, f0, f1, amplitude=0.45):
    """A tone gliding from f0 to f1 Hz; the right channel a fifth above the left."""
    frames = int(rate * seconds)
    out = bytearray()
    phase = [0.0, 0.0]
    for i in range(frames):
        t = i / frames
        f = f0 + (f1 - f0) * t
        for c in range(channels):
            phase[c] += 2 * math.pi * f * (1.5 if c == 1 else 1.0) / rate
            v = amplitude * math.sin(phase[c])
            out += struct.pack('<h', int(round(v * 32767)))
    return bytes(out)


def encode(name, rate, channels, pcm, quality, comment=None):
    with tempfile.TemporaryDirectory() as tmp:
        wav_path = os.path.join(tmp, 'in.wav')
        with wave.open(wav_path, 'wb') as w:
            w.setnchannels(channels)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(pcm)
        cmd = ['oggenc', '-Q', '-q', str(quality), '--serial', '1234', '-o', os.path.join(HERE, name)]
        if comment:
            cmd += ['-c', comment]
        cmd.append(wav_path)
        subprocess.run(cmd, check=True)


def main():
    encode('mono22k.ogg', 22050, 1, sweep(22050, 2.0, 1, 300.0, 1200.0), 2)
    encode('stereo48k.ogg', 48000, 2, sweep(48000, 100.0, 2, 150.0, 900.0), -1)
    encode('bigheader.ogg', 44100, 2, sweep(44100, 1.0, 2, 400.0, 800.0), 2,
           comment='NOTES=' + 'quazel ' * 5800)


if __name__ == '__main__':
    main()
