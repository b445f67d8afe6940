#!/usr/bin/env bash
# Renders the 48 by 48 PNG icon from the hand-written SVG. The PNG is committed; run this after
# changing the SVG. Uses rsvg-convert if present, else ImageMagick's convert.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
svg=$repo/data/icons/vellumry.svg
png=$repo/data/icons/vellumry-48.png

if command -v rsvg-convert >/dev/null 2>&1; then
  rsvg-convert --width 48 --height 48 --format png --output "$png" "$svg"
elif command -v convert >/dev/null 2>&1; then
  convert -background none -density 72 "$svg" -resize 48x48 "$png"
else
  echo "make-icon.sh: needs rsvg-convert (librsvg2-bin) or convert (imagemagick)" >&2
  exit 1
fi
# Strip timestamps and other metadata so the committed file only changes with the drawing.
if command -v convert >/dev/null 2>&1; then
  convert "$png" -strip "PNG32:$png"
fi
echo "wrote $png"
