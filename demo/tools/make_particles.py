#!/usr/bin/env python3
"""Writes the demo's particle models (NML text): the turntable's smoke, puffs that rise, slow
down, grow and fade over their life."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "crates", "models")


def curve(keys):
    knots = " ".join('<Knot="%g:%g">' % key for key in keys)
    return "<Curve= <Knot= <Count=%d> %s > >" % (len(keys), knots)


def model(ttl, damping, gravity, size, grey, opacity, picture):
    return "\n".join([
        "<NML=1.0>",
        "<ParticleModel=",
        "    <Material= <Id=\"smoke\"> <Diffuse= <X=1.0> <Y=1.0> <Z=1.0> <W=1.0> >",
        "        <RenderMask= <Shadeless> <FixedFunction> <NoZWrite> > <AlphaThreshold=0.01>",
        "        <TextureStage= <Index=0> <Texture=\"%s\"> <Active> > >" % picture,
        "    <TTL=%.1f> <Damping=%.2f>" % (ttl, damping),
        "    <Gravity= <X=0.0> <Y=%.2f> <Z=0.0> >" % gravity,
        "    <SizeCurve= %s >" % curve(size),
        "    <RedCurve= %s >" % curve(grey),
        "    <GreenCurve= %s >" % curve(grey),
        "    <BlueCurve= %s >" % curve(grey),
        "    <OpacityCurve= %s >" % curve(opacity),
        ">",
        "",
    ])


with open(os.path.join(OUT, "smoke.npm"), "w") as f:
    f.write(model(3.0, 0.6, 0.4, [(0, 0.15), (3, 0.9)], [(0, 0.8), (3, 0.55)],
                  [(0, 0.0), (0.3, 0.6), (3, 0.0)], "pictures/smoke.tga"))
