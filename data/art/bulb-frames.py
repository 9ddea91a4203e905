#!/usr/bin/python3
"""Writes one SVG per frame of the glowing light bulb into the folder given on the command line.

Every frame is the same drawing; only the brightness changes, so the loop reads as a warm flicker.
Prints "<file> <delay in 1/100 s>" lines for make-art.sh to hand to ImageMagick.
"""
import pathlib
import sys

WIDTH, HEIGHT = 180, 170
BACKGROUND = "#400000"  # the picture pane's dark red, so the GIF edge disappears

# (brightness 0..1, delay in 1/100 s, sparkle on?) -- mostly steady with a couple of hiccups.
# Repeated levels give identical frames, which the GIF optimiser stores almost for free.
FRAMES = [
    (1.00, 30, True),
    (1.00, 12, False),
    (1.00, 20, True),
    (0.45, 6, False),
    (0.85, 8, False),
    (0.60, 6, False),
    (1.00, 24, True),
    (1.00, 14, False),
]


def mix(a, b, t):
    """Blends two #rrggbb colours; t = 0 gives a, t = 1 gives b."""
    ca = [int(a[i:i + 2], 16) for i in (1, 3, 5)]
    cb = [int(b[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join(f"{round(x + (y - x) * t):02x}" for x, y in zip(ca, cb))


def frame(level, sparkle):
    halo_core = 0.15 + 0.75 * level
    glass_mid = mix("#b8741e", "#ffe46b", level)
    glass_edge = mix("#7a3a10", "#ffab1f", level)
    glass_centre = mix("#e0a040", "#fffef0", level)
    wire = mix("#ff5a00", "#ffa53a", level)
    ray_opacity = max(0.0, (level - 0.5) * 2.0)
    ray_len = 10 + 8 * level
    rays = []
    # short rays on an arc around the glass, skipping the bottom where the base is
    for angle in (-150, -120, -90, -60, -30, 0, 180):
        rays.append(f'<g transform="translate(90 66) rotate({angle})">'
                    f'<path d="M52 0 L{52 + ray_len:.1f} 0" /></g>')
    stars = ""
    if sparkle:
        star = "M0 -7 L1.6 -1.6 L7 0 L1.6 1.6 L0 7 L-1.6 1.6 L-7 0 L-1.6 -1.6 Z"
        stars = (f'<path d="{star}" transform="translate(141 17)" fill="#fff6c0"/>'
                 f'<path d="{star}" transform="translate(38 22) scale(0.7)" fill="#fff6c0"/>')
    return f'''<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{HEIGHT}" viewBox="0 0 {WIDTH} {HEIGHT}">
  <defs>
    <radialGradient id="halo" cx="90" cy="66" r="88" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="#ffcf4a" stop-opacity="{halo_core:.2f}"/>
      <stop offset="0.45" stop-color="#ff9a1a" stop-opacity="{halo_core * 0.45:.2f}"/>
      <stop offset="1" stop-color="#ff7a00" stop-opacity="0"/>
    </radialGradient>
    <radialGradient id="glass" cx="84" cy="58" r="56" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="{glass_centre}"/>
      <stop offset="0.55" stop-color="{glass_mid}"/>
      <stop offset="1" stop-color="{glass_edge}"/>
    </radialGradient>
    <linearGradient id="metal" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#6f6a66"/>
      <stop offset="0.35" stop-color="#e9e4dc"/>
      <stop offset="0.6" stop-color="#b9b2a8"/>
      <stop offset="1" stop-color="#57524e"/>
    </linearGradient>
    <filter id="soft" x="-50%" y="-50%" width="200%" height="200%">
      <feGaussianBlur stdDeviation="2.2"/>
    </filter>
  </defs>
  <rect width="{WIDTH}" height="{HEIGHT}" fill="{BACKGROUND}"/>
  <circle cx="90" cy="66" r="88" fill="url(#halo)"/>
  <g stroke="#ffd966" stroke-width="5" stroke-linecap="round" opacity="{ray_opacity:.2f}">
    {"".join(rays)}
  </g>
  {stars}
  <!-- glass -->
  <path d="M90 22 C64 22 46 41 46 66 C46 84 56 95 64 105 C68 110 70 114 70 120 L110 120 C110 114 112 110 116 105
           C124 95 134 84 134 66 C134 41 116 22 90 22 Z" fill="url(#glass)" stroke="#5a2200" stroke-width="3"/>
  <!-- filament: glow first, then the wire itself -->
  <g fill="none" stroke-linejoin="round" stroke-linecap="round">
    <path d="M78 118 L78 76 M102 118 L102 76" stroke="#7a4a20" stroke-width="2"/>
    <path d="M78 76 L82 68 L86 76 L90 68 L94 76 L98 68 L102 76" stroke="#ffffff" stroke-width="7"
          opacity="{0.25 + 0.6 * level:.2f}" filter="url(#soft)"/>
    <path d="M78 76 L82 68 L86 76 L90 68 L94 76 L98 68 L102 76" stroke="{wire}" stroke-width="2.6"/>
  </g>
  <path d="M62 50 C64 40 72 32 82 30" fill="none" stroke="#ffffff" stroke-width="5" stroke-linecap="round"
        opacity="0.75"/>
  <!-- screw base -->
  <rect x="68" y="119" width="44" height="30" rx="4" fill="url(#metal)" stroke="#2e2a27" stroke-width="2.5"/>
  <g stroke="#3d3834" stroke-width="2.2" stroke-linecap="round">
    <path d="M69 127 L111 125 M69 134 L111 132 M69 141 L111 139"/>
  </g>
  <path d="M76 150 L104 150 L98 160 L82 160 Z" fill="#2b2623" stroke="#1a1614" stroke-width="2"
        stroke-linejoin="round"/>
  <rect x="86" y="159" width="8" height="5" rx="2" fill="#c9c2b8" stroke="#2e2a27" stroke-width="1.5"/>
</svg>
'''


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for i, (level, delay, sparkle) in enumerate(FRAMES):
        name = out / f"bulb-{i:02d}.svg"
        name.write_text(frame(level, sparkle), encoding="utf-8")
        print(name, delay)


if __name__ == "__main__":
    main()
