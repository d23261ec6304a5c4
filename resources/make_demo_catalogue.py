#!/usr/bin/env python3
"""Generates the demonstration effect catalogue of the Zendal Editor.

Everything written here is our own demonstration data: effect names, images,
control descriptors, descriptions, layouts, firmware images and styles. None of
it is a real pedal program; the editor refuses to send it to real hardware.

Usage: make_demo_catalogue.py [OUTPUT_DIR]   (default: catalogue/ beside this script)

The output is a pure function of this script: running it twice gives
byte-identical files (a CTest test checks that the committed files match).
"""

import math
import os
import struct
import sys

CRLF = "\r\n"


class Rng:
    """SplitMix64: small, fast and identical on every Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next64() % n

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def bytes(self, n):
        out = bytearray()
        while len(out) < n:
            out += self.next64().to_bytes(8, "little")
        return bytes(out[:n])

    def unit(self):
        return (self.next64() >> 11) / float(1 << 53)


# --------------------------------------------------------------------------
# The effects. Each: id, display name, category (None: in no list), image size
# (None: drawn from the seeded generator), pots, switch section, multi-switches,
# readbacks, header style and the description text.
# Header style: "3" = three digits (only without readbacks), "4" = four digits.
# --------------------------------------------------------------------------

GAIN, MOD, SYN, FLT, DYN, IR, OTH = (
    "Gain", "Modulation", "Synthesis", "Filter", "Dynamic", "Impulse Response", "Other")

CATEGORIES = [
    (GAIN, "GAIN"), (MOD, "MODULATION"), (SYN, "SYNTHESIS"), (FLT, "FILTER"),
    (DYN, "DYNAMIC"), (IR, "IMPULSE_RESPONSE"), (OTH, "OTHER"),
]
# Category lists written without a final line break (the others end with one).
CATEGORIES_WITHOUT_FINAL_BREAK = {"SYNTHESIS", "DYNAMIC"}

TAP = "Tap:Tap:Tap@"


def fx(eid, name, cat, pots, sw=(), multi=(), rb=(), size=None, hdr="4", ending="crlf",
       info=""):
    return dict(id=eid, name=name, cat=cat, pots=list(pots), sw=list(sw), multi=list(multi),
                rb=list(rb), size=size, hdr=hdr, ending=ending, info=info)


EFFECTS = [
    # Gain
    fx(0x01, "Clean Boost", GAIN, ["Boost", "Treble"], ["Bright:OFF:ON"], hdr="3", size=1216,
       info="A transparent level boost with a gentle treble lift. Use it to push an amplifier "
            "harder or to raise the level of a solo."),
    fx(0x02, "Amber Drive", GAIN, ["Drive", "Tone", "Level"], ["Mid Hump:Flat:Hump"], rb=["Clip"],
       info="A warm, moderate overdrive. The Mid Hump switch adds the familiar midrange push "
            "that helps a guitar cut through a band."),
    fx(0x03, "Crunch Stack", GAIN, ["Gain", "Bass", "Middle", "Treble", "Level"],
       ["Channel:Clean:Crunch"], ["Voicing;British;American;Modern"],
       info="An amplifier-style preamp with a three-band tone stack and two channels."),
    fx(0x04, "Silk Overdrive", GAIN, ["Drive", "Tone", "Level", "Blend"], hdr="3",
       info="A soft-clipping overdrive. Blend mixes the clean signal back in to keep the attack "
            "of each note."),
    fx(0x05, "Iron Distortion", GAIN, ["Distortion", "Low", "High", "Level"], ["Gate:OFF:ON"],
       rb=["Clip"],
       info="A hard-clipping distortion with separate low and high controls and an optional "
            "noise gate."),
    fx(0x06, "Moss Drive", GAIN, ["Drive", "Tone", "Level"], ["Phase:-:Inverted"], hdr="3",
       info="A dark, thick overdrive. The Phase switch inverts the output, which can help when "
            "the effect is combined with a parallel dry path."),
    fx(0x07, "Woolly Fuzz", GAIN, ["Sustain", "Tone", "Volume"], ["Tone Bypass:Active"], hdr="3",
       info="A smooth, sustaining fuzz with a scooped tone control."),
    fx(0x08, "Octave X Fuzz", GAIN, ["Fuzz", "Octave", "Tone", "Level"], [],
       ["Octave;Down;;Up"],
       info="A fuzz that adds an octave above or below the played note. The middle position of "
            "the Octave selector leaves the octave out."),
    fx(0x09, "Legacy Drive", None, ["Drive", "Tone", "Level"], hdr="3"),
    fx(0x0A, "Gated Fuzz", GAIN, ["Fuzz", "Gate", "Level"], ["Gate Mode:Soft:Hard"], rb=["Gate"],
       info="A sputtering fuzz whose built-in gate cuts the signal between notes. The Gate "
            "readback lights while the gate is open."),
    fx(0x0B, "Treble Booster", GAIN, ["Boost", "Range", "Level"], hdr="3",
       info="A bright booster that emphasises the upper midrange and treble."),
    fx(0x0C, "Bass Drive", GAIN, ["Drive", "Blend", "Bass", "Treble", "Level"], ["Sub:OFF:ON"],
       info="An overdrive voiced for bass guitar. Blend keeps the clean low end under the "
            "distorted signal."),
    fx(0x0D, "Hi-Gain Lead", GAIN, ["Gain", "Bass", "Middle", "Treble", "Presence", "Level"],
       ["Boost:OFF:ON", "Gate:OFF:ON"], ["Cab;Off;1x12;4x12"], rb=["Clip"],
       info="A high-gain lead channel with a presence control, a boost, a noise gate and a "
            "simple speaker simulation."),
    fx(0x0E, "Bit Crusher", GAIN, ["Bits", "Rate", "Mix", "Level"], [],
       ["Dither;None;Light;Heavy"],
       info="Reduces the resolution and sample rate of the signal for a gritty digital sound."),
    fx(0x0F, "Ring Fuzz", GAIN, ["Fuzz", "Frequency", "Mix", "Level"], ["Track:Fixed:Pitch"],
       rb=["Carrier"],
       info="A fuzz followed by a ring modulator whose carrier can follow the pitch you play."),
    fx(0x10, "Tape Saturator", GAIN, ["Drive", "Wow", "Flutter", "Tone", "Level"], [],
       ["Tape;Ferric;Chrome;Metal"], rb=["Wow"],
       info="Gentle compression and saturation with the slow pitch drift of a tape machine."),
    fx(0x11, "Twin Drive", GAIN, ["Drive A", "Tone A", "Level A", "Drive B", "Tone B", "Level B"],
       ["Order:A>B:B>A", "Link:OFF:ON"], ["Routing;Series;Parallel"],
       info="Two independent overdrives that can run in series, in either order, or in "
            "parallel."),
    fx(0x12, "Velvet Fuzz", GAIN, ["Fuzz", "Tone", "Volume", "Starve"], hdr="3",
       info="A vintage-style fuzz. Starve lowers the simulated supply voltage for a broken-up, "
            "gated sound."),
    fx(0x13, "Clean Through", None, ["Level"]),
    # Modulation
    fx(0x14, "Classic Chorus", MOD, ["Rate", "Depth", "Mix"], rb=["LFO"], ending="extra",
       info="A single-voice chorus. The LFO readback follows the modulation, so an LED can "
            "show its speed."),
    fx(0x15, "Dual Chorus", MOD, ["Rate", "Depth", "Spread", "Mix"], ["Voices:Two:Four"],
       rb=["LFO"],
       info="A wide chorus with two or four voices spread across the stereo field."),
    fx(0x16, "Flanger", MOD, ["Rate", "Depth", "Feedback", "Manual", "Mix"],
       ["Polarity:Positive:Negative"], rb=["LFO"],
       info="A classic flanger. Negative feedback polarity gives a hollow sound; positive a "
            "ringing one."),
    fx(0x17, "Jet Flanger", MOD, ["Manual", "Feedback", "Mix"], ["Sweep:Sweep:Sweep@"],
       rb=["Sweep"],
       info="A flanger that sweeps once each time the Sweep button is pressed."),
    fx(0x18, "Four-Stage Phaser", MOD, ["Rate", "Depth", "Feedback", "Mix"], [],
       ["Stages;2;4;6;8"], rb=["LFO"],
       info="A phaser with a selectable number of all-pass stages."),
    fx(0x19, "Liquid Vibe", MOD, ["Speed", "Intensity", "Volume"], ["Mode:Chorus:Vibrato"],
       rb=["LFO"],
       info="A throbbing, uneven phase modulation in the spirit of the old photocell units."),
    fx(0x1A, "Tremolo", MOD, ["Rate", "Depth", "Level"], [TAP], ["Shape;Sine;Triangle;Square"],
       rb=["LFO"],
       info="Varies the volume rhythmically. Tap sets the rate from your footswitch."),
    fx(0x1B, "Harmonic Tremolo", MOD, ["Rate", "Depth", "Crossover", "Level"], rb=["LFO"],
       info="Splits the signal at the crossover frequency and modulates the two bands in "
            "opposite phase."),
    fx(0x1C, "Vibrato", MOD, ["Rate", "Depth"], ["Rise:Instant:Slow"], rb=["LFO"],
       info="Pure pitch modulation without the dry signal."),
    fx(0x1D, "Rotary Speaker", MOD, ["Slow Rate", "Fast Rate", "Drive", "Horn Level",
                                     "Rotor Level"],
       ["Speed:Slow:Fast", "Brake:OFF:ON@"], rb=["Horn", "Rotor"],
       info="A rotating speaker cabinet with separate horn and rotor. Brake stops the rotation."),
    fx(0x1E, "Auto Pan", MOD, ["Rate", "Depth", "Width"], [TAP], rb=["LFO"],
       info="Moves the signal between the left and right outputs."),
    fx(0x1F, "Ring Modulator", MOD, ["Frequency", "Mix", "Level"], [], ["Carrier;Sine;Square"],
       hdr="3", info="Multiplies the signal with a carrier for metallic, bell-like tones."),
    fx(0x20, "Digital Delay", MOD, ["Time", "Feedback", "Mix", "Tone"], [TAP],
       ["Division;1/4;1/8.;1/8;1/16"],
       info="A clean digital delay with tap tempo and note divisions."),
    fx(0x21, "Tape Echo", MOD, ["Time", "Feedback", "Mix", "Wow"], ["Heads:Single:Dual", TAP],
       rb=["Tap"],
       info="A delay with the darkening repeats and pitch drift of a tape echo machine."),
    fx(0x22, "Ping-Pong Delay", MOD, ["Time", "Feedback", "Mix", "Spread"],
       [TAP, "Ratio:1/1:3/4"],
       info="A stereo delay whose repeats alternate between the two outputs."),
    # Synthesis and others
    fx(0x23, "Square Synth", SYN, ["Attack", "Decay", "Cutoff", "Resonance", "Synth Level",
                                   "Dry Level"], [], ["Octave;-2;-1;0;+1"], rb=["Envelope"],
       info="Tracks the pitch you play and turns it into a filtered square wave."),
    fx(0x24, "Sub Octave Synth", SYN, ["Sub 1", "Sub 2", "Dry", "Tone"], hdr="3",
       info="Adds one and two octaves below the played note."),
    fx(0x25, "Test Oscillator", None, ["Frequency", "Level"], [], ["Wave;Sine;Square;Saw"]),
    fx(0x26, "Noise Gate", DYN, ["Threshold", "Release"], hdr="3", ending="none",
       info="Mutes the signal when it falls below the threshold, removing hum and hiss "
            "between notes."),
    fx(0x27, "Cabinet Sim + EQ", IR, ["Low", "Mid", "High", "Level"], [], ["Mic;Close;Room"],
       size=5712,
       info="Loads an impulse response of a speaker cabinet and adds a three-band equaliser."),
    fx(0x28, "Studio Compressor", DYN, ["Threshold", "Ratio", "Attack", "Release", "Makeup"],
       ["Knee:Hard:Soft"], rb=["Gain Reduction"],
       info="A studio-style compressor. The Gain Reduction readback lights while the "
            "compressor works."),
    fx(0x29, "Moss Drive + Cabinet Sim", IR, ["Drive", "Tone", "Level", "Cab Level"], hdr="3",
       size=6020,
       info="The Moss Drive overdrive followed by a cabinet impulse response of your choice."),
    fx(0x2A, "Woolly + Cabinet Sim", IR, ["Sustain", "Tone", "Volume", "Cab Level"],
       ["Tone Bypass:Active"], size=6020,
       info="The Woolly Fuzz followed by a cabinet impulse response of your choice."),
    fx(0x2B, "Basic Cabinet Sim", IR, ["Level", "Low Cut", "High Cut"], hdr="3", size=5888,
       info="Plays the signal through a cabinet impulse response with low and high cut "
            "filters."),
    fx(0x2C, "Auto-Wah", FLT, ["Sensitivity", "Range", "Resonance", "Level"],
       ["Direction:Up:Down"], rb=["Envelope"],
       info="A wah filter moved by the strength of your playing."),
    fx(0x2D, "Dual Filter Beta", None, ["Cutoff A", "Cutoff B", "Resonance", "Mix"],
       ["Mode:LP:BP"], rb=["Envelope"],
       info="Two resonant filters in parallel. An experimental effect kept for reference."),
    fx(0x2E, "Envelope Filter", FLT, ["Sensitivity", "Attack", "Decay", "Resonance", "Mix"], [],
       ["Type;Low Pass;Band Pass;High Pass"], rb=["Envelope"],
       info="A resonant filter that opens with each note and closes as it decays."),
    fx(0x2F, "Tuner Mute", None, ["Reference"], ["Mute:OFF:ON"], hdr="3",
       info="Mutes the output so that you can tune silently."),
    fx(0x30, "Wah-Wah", FLT, ["Position", "Range", "Q", "Level"], [],
       ["Voice;Vintage;Wide;Vocal"],
       info="A wah filter for an expression pedal assigned to Position."),
    fx(0x31, "Ten-Band EQ", FLT, ["31 Hz", "62 Hz", "125 Hz", "250 Hz", "500 Hz", "1 kHz",
                                  "2 kHz", "4 kHz", "8 kHz", "16 kHz"], ["Output:Flat:Boost"],
       info="A graphic equaliser with ten octave bands."),
    fx(0x32, "Harmonizer", SYN, ["Harmony", "Dry", "Detune"], ["Scale:Major:Minor"],
       ["Interval;3rd;4th;5th;Octave", "Key;C;C#;D;D#;E;F;F#;G;G#;A;A#;B"], size=6656,
       info="Adds a second voice a chosen interval away, following the key and scale."),
    fx(0x33, "Swell Pad", SYN, ["Attack", "Release", "Shimmer", "Mix"], ["Hold:OFF:ON"],
       rb=["Envelope"], size=7168,
       info="Fades each note in slowly and holds it as a pad."),
    fx(0x34, "Arpeggio Synth", SYN, ["Rate", "Range", "Glide", "Level"], [TAP],
       ["Pattern;Up;Down;Up-Down;Random"], rb=["Step"],
       info="Plays arpeggios built from the note you hold."),
    fx(0x35, "Factory Test", None, [], size=2048),  # the malformed descriptor, see below
    fx(0x36, "Stereo Widener", None, ["Width", "Delay", "Level"], hdr="3"),
    fx(0x37, "Glitch Sequencer", SYN, ["Step 1", "Step 2", "Step 3", "Step 4", "Step 5",
                                       "Step 6", "Step 7", "Step 8", "Rate", "Glide", "Filter",
                                       "Level"],
       ["Sync:Free:Tempo", "Mode:OFF:ON@"], ["Steps;4;8;16", "Gate;Short;Long;"], rb=["Step"],
       size=6272,
       info="A step sequencer that gates and filters the signal in rhythm."),
    fx(0x38, "Organ Emulator", SYN, ["Sub", "Upper", "Percussion", "Click", "Level"],
       ["Rotary:OFF:ON"],
       info="Turns the guitar into an organ-like tone with sub and upper octaves."),
    fx(0x39, "Tape Echo + Wah-Wah", OTH, ["Time", "Feedback", "Mix", "Wah Position",
                                          "Wah Range"], [TAP, "Wah:OFF:ON"], rb=["Tap"],
       size=8192, ending="extra",
       info="A wah filter in front of a tape-style echo, both in one program."),
    fx(0x3A, "Hall Reverb", OTH, ["Decay", "Pre-Delay", "Tone", "Mix"], hdr="3", size=7936,
       info="The long, smooth reverberation of a large hall."),
    fx(0x3B, "Spring Reverb", OTH, ["Dwell", "Tone", "Mix"], ["Springs:Two:Three"], size=5441,
       info="The bouncy reverb of an amplifier's spring tank."),
    fx(0x3C, "Plate Reverb", OTH, ["Decay", "Damping", "Mix"], hdr="3", size=5440,
       info="A bright, dense reverb modelled on a studio plate."),
    fx(0x3D, "Shimmer Reverb", OTH, ["Decay", "Shimmer", "Tone", "Mix"], [],
       ["Pitch;Octave;Fifth;Octave+Fifth"], rb=["Shimmer"], size=9472,
       info="A reverb whose tail is pitch-shifted upwards for an airy, organ-like sound."),
    fx(0x3E, "Reverse Delay", OTH, ["Time", "Feedback", "Mix"], [TAP], rb=["Tap"], size=6912,
       info="Plays each repeat backwards."),
    fx(0x3F, "Lo-Fi Radio", OTH, ["Band", "Noise", "Crackle", "Level"], ["Speaker:Small:Tiny"]),
]

# The one malformed descriptor in the catalogue (kept on purpose, so that the
# editor's refusal can be seen): it declares 10 pots, 12 switch-section entries,
# 2 multi-switches and 1 readback, and lists no readback line.
MALFORMED_ID = 0x35

# Effects that carry no description page.
WITHOUT_INFO = {0x09, 0x13, 0x25, 0x35, 0x36, 0x3F}

# IR areas: effect id -> (byte offset, number of 4-byte words).
IR_LAYOUT = {0x27: (230, 882), 0x29: (362, 703), 0x2A: (370, 703), 0x2B: (230, 912)}

FIRMWARE_SIZES = [41252, 41396, 41420, 41356, 41712]


def resource_name(display):
    return (display.replace(" ", "_").replace("-", "_").replace("+", "plus")
            .replace("X", "mult").upper())


def header_for(e):
    p, s, m, r = len(e["pots"]), len(e["sw"]), len(e["multi"]), len(e["rb"])
    digits = "%X%X%X" % (p, s, m)
    if r or e["hdr"] == "4":
        digits += "%X" % r
    return digits


def ctrls_text(e):
    if e["id"] == MALFORMED_ID:
        lines = ["AC21"]
        lines += ["Test Pot %d" % (i + 1) for i in range(10)]
        lines += ["Test Switch %d:OFF:ON" % (i + 1) for i in range(12)]
        lines += ["Test Select 1;A;B", "Test Select 2;A;B;C"]
    else:
        lines = [header_for(e)] + e["pots"] + e["sw"] + e["multi"] + e["rb"]
    text = CRLF.join(lines)
    if e["ending"] == "crlf":
        text += CRLF
    elif e["ending"] == "extra":
        text += CRLF + CRLF  # a trailing empty line
    return text


def decaying_impulse(rng, words):
    out = bytearray()
    for n in range(words):
        envelope = math.exp(-n / (words / 7.0))
        if n == 0:
            value = 0x5A0000
        else:
            value = int((rng.unit() * 2.0 - 1.0) * 0x380000 * envelope)
        value = max(-0x800000, min(0x7FFFFF, value))
        out += struct.pack(">i", value)  # sign-extended 24-bit word, big-endian
    return bytes(out)


def image_bytes(e, size, version):
    rng = Rng(0x5A444D4F00000000 | e["id"])
    data = bytearray(rng.bytes(size))
    data[0] = 0x00
    data[1:3] = struct.pack(">H", size)
    base = 0x0000 if e["id"] == 0x26 else 0x0100 + rng.between(0, 0x2F) * 0x40
    for i in range(16):
        data[3 + 2 * i:5 + 2 * i] = struct.pack(">H", base + 4 * i)
    data[35] = e["id"]
    data[36] = version
    data[37:41] = b"ZDMO"
    if e["id"] in IR_LAYOUT:
        offset, words = IR_LAYOUT[e["id"]]
        data[offset:offset + 4 * words] = decaying_impulse(rng, words)
    assert len(data) == size
    return bytes(data)


def html_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def info_page(e):
    controls = []
    for line in e["pots"]:
        controls.append("%s (knob)" % line)
    for line in e["sw"]:
        caption = line.split(":")[0]
        controls.append("%s (%s)" % (caption, "button" if "@" in line else "switch"))
    for line in e["multi"]:
        parts = line.split(";")
        choices = ", ".join(c if c else "(none)" for c in parts[1:])
        controls.append("%s (selector: %s)" % (parts[0], choices))
    items = "".join("<li>%s</li>" % html_escape(c) for c in controls)
    readbacks = ""
    if e["rb"]:
        readbacks = ("<p>Readbacks for the LEDs: %s.</p>"
                     % html_escape(", ".join(e["rb"])))
    return ("<!DOCTYPE html>" + CRLF +
            "<html><head><meta charset=\"utf-8\"><title>%s</title></head>" % html_escape(e["name"])
            + CRLF + "<body>" + CRLF +
            "<h1>%s</h1>" % html_escape(e["name"]) + CRLF +
            "<p>%s</p>" % html_escape(e["info"]) + CRLF +
            "<h2>Controls</h2>" + CRLF + "<ul>%s</ul>" % items + CRLF + readbacks +
            ("" if not readbacks else CRLF) +
            "<p><small>Demonstration effect of the Zendal Editor.</small></p>" + CRLF +
            "</body></html>" + CRLF)


def firmware_bytes(k, size):
    rng = Rng(0x5A444D4F46570000 | k)
    data = bytearray(rng.bytes(size))
    flash = 0x08000000
    default_handler = flash + 0x0300 + 0x20 * k + 1
    vectors = [0x20005000, flash + 0x0240 + 1]            # initial SP, Reset
    vectors += [flash + 0x0280 + 1, flash + 0x0290 + 1]   # NMI, HardFault
    vectors += [0] * 7                                    # reserved on Cortex-M0
    vectors += [flash + 0x02A0 + 1, 0, 0]                 # SVCall, reserved
    vectors += [flash + 0x02B0 + 1, flash + 0x02C0 + 1]   # PendSV, SysTick
    vectors += [default_handler] * 32                     # peripheral interrupts
    data[0:4 * len(vectors)] = b"".join(struct.pack("<I", v) for v in vectors)
    data[0x200:0x208] = b"ZDMOFW\x00\x00"
    data[0x208] = k
    assert len(data) == size
    return bytes(data)


# --------------------------------------------------------------------------
# Appearance styles
# --------------------------------------------------------------------------

STYLES = [
    dict(name="Default", bg="#f2f2f0", fg="#1e1e1e", base="#ffffff", alt="#e6e6e3",
         accent="#3d6fb6", accent_fg="#ffffff", border="#b4b4b0", muted="#8a8a86",
         groove="#d0d0cc", font=9, focus=1, radius=3),
    dict(name="Dark", bg="#2b2d30", fg="#e4e4e4", base="#1f2023", alt="#35383c",
         accent="#4a8fd9", accent_fg="#ffffff", border="#4a4d52", muted="#80848a",
         groove="#44474c", font=9, focus=1, radius=3),
    dict(name="Light", bg="#fbfbfd", fg="#202124", base="#ffffff", alt="#eef0f4",
         accent="#2f7de1", accent_fg="#ffffff", border="#d2d6dc", muted="#9aa0a6",
         groove="#e2e5ea", font=9, focus=1, radius=5),
    dict(name="Stage", bg="#000000", fg="#ffffff", base="#111111", alt="#1c1c1c",
         accent="#ffd400", accent_fg="#000000", border="#ffffff", muted="#a0a0a0",
         groove="#555555", font=12, focus=3, radius=2),
    dict(name="Amber", bg="#2a2118", fg="#f5deb3", base="#1f1812", alt="#3a2d20",
         accent="#ffb000", accent_fg="#1f1812", border="#6b5331", muted="#9c8466",
         groove="#4d3b26", font=9, focus=2, radius=3),
    dict(name="Ocean", bg="#e8f1f5", fg="#10303f", base="#ffffff", alt="#d3e6ee",
         accent="#0f7c99", accent_fg="#ffffff", border="#9dc0cf", muted="#6f8f9c",
         groove="#bcd7e2", font=9, focus=1, radius=4),
    dict(name="Slate", bg="#3b4252", fg="#eceff4", base="#2e3440", alt="#434c5e",
         accent="#88c0d0", accent_fg="#2e3440", border="#4c566a", muted="#8f99ab",
         groove="#4c566a", font=9, focus=1, radius=3),
    dict(name="Midnight", bg="#0d1117", fg="#c9d1d9", base="#010409", alt="#161b22",
         accent="#8957e5", accent_fg="#ffffff", border="#30363d", muted="#6e7681",
         groove="#21262d", font=9, focus=2, radius=4),
]

QSS_TEMPLATE = """/* {name} */
/* Zendal Editor appearance style {number}. */

QWidget {{
    background-color: {bg};
    color: {fg};
    font-size: {font}pt;
    selection-background-color: {accent};
    selection-color: {accent_fg};
}}

QWidget:disabled {{
    color: {muted};
}}

QMenuBar {{
    background-color: {alt};
    border-bottom: 1px solid {border};
}}

QMenuBar::item {{
    background: transparent;
    padding: 4px 6px;
}}

QMenuBar::item:selected,
QMenuBar::item:pressed {{
    background-color: {accent};
    color: {accent_fg};
}}

QMenu {{
    background-color: {base};
    border: 1px solid {border};
    padding: 4px 0px;
}}

QMenu::item {{
    padding: 4px 24px 4px 24px;
}}

QMenu::item:selected {{
    background-color: {accent};
    color: {accent_fg};
}}

QMenu::item:disabled {{
    color: {muted};
}}

QMenu::separator {{
    height: 1px;
    background: {border};
    margin: 4px 8px;
}}

QPushButton {{
    background-color: {alt};
    border: 1px solid {border};
    border-radius: {radius}px;
    padding: 5px 4px;
    min-height: {button_height}px;
}}

QPushButton:hover {{
    border-color: {accent};
}}

QPushButton:pressed,
QPushButton:checked {{
    background-color: {accent};
    color: {accent_fg};
}}

QPushButton:focus {{
    border: {focus}px solid {accent};
}}

QPushButton:disabled {{
    background-color: {bg};
    border-color: {groove};
    color: {muted};
}}

QListWidget {{
    background-color: {base};
    alternate-background-color: {alt};
    border: 1px solid {border};
    border-radius: {radius}px;
    outline: none;
}}

QListWidget:focus {{
    border: {focus}px solid {accent};
}}

QListWidget::item {{
    padding: 3px 6px;
}}

QListWidget::item:hover {{
    background-color: {alt};
}}

QListWidget::item:selected {{
    background-color: {accent};
    color: {accent_fg};
}}

QListWidget::item:disabled {{
    color: {muted};
}}

QComboBox {{
    background-color: {base};
    border: 1px solid {border};
    border-radius: {radius}px;
    padding: 3px 8px;
    min-height: {button_height}px;
}}

QComboBox:focus {{
    border: {focus}px solid {accent};
}}

QComboBox:disabled {{
    color: {muted};
    border-color: {groove};
}}

QComboBox::drop-down {{
    border-left: 1px solid {border};
    width: 18px;
}}

QComboBox QAbstractItemView {{
    background-color: {base};
    border: 1px solid {border};
    selection-background-color: {accent};
    selection-color: {accent_fg};
}}

QSlider::groove:horizontal {{
    height: 6px;
    background: {groove};
    border-radius: 3px;
}}

QSlider::sub-page:horizontal {{
    background: {accent};
    border-radius: 3px;
}}

QSlider::handle:horizontal {{
    background: {base};
    border: 1px solid {border};
    width: {handle}px;
    margin: -6px 0px;
    border-radius: {handle_radius}px;
}}

QSlider::handle:horizontal:hover {{
    border-color: {accent};
}}

QSlider:focus {{
    border: {focus}px dotted {accent};
}}

QSlider::sub-page:horizontal:disabled {{
    background: {muted};
}}

QCheckBox,
QRadioButton {{
    spacing: 6px;
    background: transparent;
}}

QCheckBox::indicator,
QRadioButton::indicator {{
    width: {indicator}px;
    height: {indicator}px;
    background-color: {base};
    border: 1px solid {border};
}}

QCheckBox::indicator {{
    border-radius: {radius}px;
}}

QRadioButton::indicator {{
    border-radius: {indicator_radius}px;
}}

QCheckBox::indicator:checked,
QRadioButton::indicator:checked {{
    background-color: {accent};
    border-color: {accent};
}}

QCheckBox:focus,
QRadioButton:focus {{
    border: {focus}px solid {accent};
}}

QCheckBox::indicator:disabled,
QRadioButton::indicator:disabled {{
    background-color: {alt};
    border-color: {groove};
}}

QGroupBox {{
    border: 1px solid {border};
    border-radius: {radius}px;
    margin-top: 14px;
    padding-top: 6px;
}}

QGroupBox::title {{
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 8px;
    padding: 0px 4px;
    color: {accent};
}}

QProgressBar {{
    background-color: {base};
    border: 1px solid {border};
    border-radius: {radius}px;
    text-align: center;
    min-height: 14px;
}}

QProgressBar::chunk {{
    background-color: {accent};
    border-radius: {radius}px;
}}

QLabel {{
    background: transparent;
}}

QLabel:disabled {{
    color: {muted};
}}

QLineEdit {{
    background-color: {base};
    border: 1px solid {border};
    border-radius: {radius}px;
    padding: 3px 6px;
}}

QLineEdit:focus {{
    border: {focus}px solid {accent};
}}

QLineEdit:read-only {{
    background-color: {alt};
}}

QPlainTextEdit {{
    background-color: {base};
    border: 1px solid {border};
    border-radius: {radius}px;
    font-family: "DejaVu Sans Mono", "Liberation Mono", monospace;
}}

QPlainTextEdit:focus,
QTextBrowser:focus {{
    border: {focus}px solid {accent};
}}

QToolTip {{
    background-color: {alt};
    color: {fg};
    border: 1px solid {border};
    padding: 3px;
}}
"""


def style_text(number, s):
    values = dict(s)
    values.update(number=number,
                  button_height=18 + (s["font"] - 9) * 3,
                  handle=14 + (s["font"] - 9) * 2,
                  handle_radius=(14 + (s["font"] - 9) * 2) // 2,
                  indicator=13 + (s["font"] - 9) * 2,
                  indicator_radius=(13 + (s["font"] - 9) * 2) // 2)
    return QSS_TEMPLATE.format(**values).replace("\n", CRLF)


LAYOUTS = {
    "LAYOUT_1": ["0:Standard", "1:Compact", "2:Wide"],
    "LAYOUT_2": ["0:Standard", "1:Two Columns", "2:Stage", "3:Minimal"],
    "LAYOUT_3": ["0:Standard", "1:Pedalboard", "2:Studio"],
}


# --------------------------------------------------------------------------

def check(e_by_id):
    assert sorted(e_by_id) == list(range(1, 64)), "ids 1..63, each once"
    names = [e["name"] for e in EFFECTS]
    assert len(set(names)) == 63, "display names are unique"
    assert len(set(resource_name(n) for n in names)) == 63, "resource names are unique"
    expected = {GAIN: 17, MOD: 15, SYN: 7, FLT: 4, DYN: 2, IR: 4, OTH: 7}
    for cat, count in expected.items():
        assert sum(1 for e in EFFECTS if e["cat"] == cat) == count, cat
    assert sorted(e["id"] for e in EFFECTS if e["cat"] is None) == [
        0x09, 0x13, 0x25, 0x2D, 0x2F, 0x35, 0x36]
    assert sorted(e["id"] for e in EFFECTS if e["cat"] == IR) == sorted(IR_LAYOUT)
    for e in EFFECTS:
        if e["id"] == MALFORMED_ID:
            continue
        n = len(e["pots"]) + len(e["sw"]) + len(e["multi"])
        assert 1 <= len(e["pots"]) and n <= 16 and len(e["rb"]) <= 4, e["name"]
        assert all(";" in m for m in e["multi"]), e["name"]
    assert len(e_by_id[0x26]["pots"]) + len(e_by_id[0x26]["sw"]) == 2
    assert not e_by_id[0x26]["rb"]


def image_sizes():
    rng = Rng(0x53495A45)
    sizes = {}
    for e in EFFECTS:
        size = e["size"]
        if size is None:
            size = rng.between(1280, 2800)
        sizes[e["id"]] = size
    values = list(sizes.values())
    assert min(values) == 1216 and max(values) == 9472
    assert sum(1 for v in values if v > 5440) == 12
    assert values.count(5440) == 1 and values.count(5441) == 1
    for eid, (offset, words) in IR_LAYOUT.items():
        assert sizes[eid] > 5440 and offset + 4 * words <= sizes[eid]
    return sizes


def write(out_dir, name, content):
    path = os.path.join(out_dir, name)
    data = content.encode("ascii") if isinstance(content, str) else content
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, "catalogue")
    os.makedirs(out_dir, exist_ok=True)

    e_by_id = {e["id"]: e for e in EFFECTS}
    check(e_by_id)
    sizes = image_sizes()
    version_rng = Rng(0x56455253)

    lines = ["0:empty"] + ["%X:%s" % (i, e_by_id[i]["name"]) for i in range(1, 64)]
    write(out_dir, "EFFECT_LIST", CRLF.join(lines) + CRLF)

    for cat, res in CATEGORIES:
        members = [e["name"] for e in EFFECTS if e["cat"] == cat]
        text = CRLF.join(members)
        if res not in CATEGORIES_WITHOUT_FINAL_BREAK:
            text += CRLF
        write(out_dir, res, text)

    for e in EFFECTS:
        res = resource_name(e["name"])
        version = 1 + version_rng.below(3)
        write(out_dir, res, image_bytes(e, sizes[e["id"]], version).hex().upper())
        write(out_dir, res + "_CTRLS", ctrls_text(e))
        if e["id"] not in WITHOUT_INFO:
            assert e["info"], e["name"]
            write(out_dir, res + "_INFO", info_page(e))

    for name, rows in LAYOUTS.items():
        write(out_dir, name, CRLF.join(rows) + CRLF)

    for k, size in enumerate(FIRMWARE_SIZES, start=1):
        write(out_dir, "FIRMWARE_%d" % k, firmware_bytes(k, size))

    for number, s in enumerate(STYLES):
        write(out_dir, "STYLE_%d" % number, style_text(number, s))

    write(out_dir, "CATALOGUE_ORIGIN", "demonstration")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
