#!/usr/bin/env python3
"""Writes the two cue sounds, resources/lazer.wav and resources/failed.wav.

Both are RIFF PCM, 1 channel, 22050 Hz, 8 bits (unsigned), under one second.
LAZER, a change was written: a short rising sweep.
FAILED, a change failed: a low double buzz.
The output is deterministic, so rerunning the script changes nothing.
"""
import math
import os
import struct
import sys
import wave

RATE = 22050


def envelope(t, length, attack=0.01, release=0.05):
    """Linear fade in and out so that no cue starts or stops with a click."""
    if t < attack:
        return t / attack
    if t > length - release:
        return max(0.0, (length - t) / release)
    return 1.0


def sweep(length=0.7, start_hz=400.0, end_hz=2400.0, volume=0.7):
    """A rising exponential sweep, sine with a little third harmonic."""
    samples = []
    phase = 0.0
    count = int(length * RATE)
    for n in range(count):
        t = n / RATE
        hz = start_hz * (end_hz / start_hz) ** (t / length)
        phase += 2 * math.pi * hz / RATE
        v = math.sin(phase) + 0.25 * math.sin(3 * phase)
        samples.append(volume * envelope(t, length) * v / 1.25)
    return samples


def buzz(length, hz=110.0, volume=0.7):
    """A low buzz: a band-limited square wave (odd harmonics up to 3 kHz)."""
    samples = []
    count = int(length * RATE)
    harmonics = [k for k in range(1, int(3000 / hz) + 1, 2)]
    norm = sum(1.0 / k for k in harmonics)
    for n in range(count):
        t = n / RATE
        v = sum(math.sin(2 * math.pi * hz * k * t) / k for k in harmonics) / norm
        samples.append(volume * envelope(t, length, release=0.03) * v)
    return samples


def silence(length):
    return [0.0] * int(length * RATE)


def write(path, samples):
    frames = bytes(max(0, min(255, int(round(128 + 127 * s)))) for s in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(1)
        out.setframerate(RATE)
        out.writeframes(frames)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    if len(sys.argv) > 1:
        root = sys.argv[1]
    write(os.path.join(root, "lazer.wav"), sweep() + silence(0.05))
    write(os.path.join(root, "failed.wav"), buzz(0.32) + silence(0.12) + buzz(0.32) + silence(0.05))


if __name__ == "__main__":
    main()
