#!/usr/bin/env bash
# Rebuild the sixteen built-in slides (resources/slides/slide01.jpg ...
# slide16.jpg) and their CREDITS file from the photographs shipped in Debian's
# lomiri-wallpapers-16.04 and lomiri-wallpapers-20.04 packages.
#
# Every slide is a baseline JFIF 1.01 JPEG of 1024 x 768 pixels, YCbCr with
# luminance sampled 2x2 and both chroma components 1x1 (4:2:0).  Each
# photograph is cut to 4:3 about its centre (one slide is a framed detail, see
# the table below), scaled to 1024 x 768 with ImageMagick and encoded with
# libjpeg-turbo's cjpeg.  The quality is the highest one, at most MAX_QUALITY,
# that keeps the file within MAX_BYTES; the result must also reach MIN_BYTES.
#
# The script installs nothing.  It needs these Debian packages:
#   lomiri-wallpapers-16.04 lomiri-wallpapers-20.04   (the photographs)
#   imagemagick                                        (convert, identify)
#   libjpeg-turbo-progs                                (cjpeg)
# The same inputs and tools give the same bytes on every run.
#
# Usage: tools/slides/make-slides.sh [OUTPUT_DIR]   (default: resources/slides)

set -euo pipefail
export LC_ALL=C

readonly BACKGROUNDS=/usr/share/backgrounds
readonly WIDTH=1024
readonly HEIGHT=768
readonly MAX_QUALITY=95
readonly MIN_QUALITY=50
readonly MAX_BYTES=160000
readonly MIN_BYTES=100000

# slide | source file | package | author | licence | crop
# The crop is "centre" (the largest 4:3 area about the picture's centre) or an
# explicit WxH+X+Y rectangle in source pixels for a framed detail.
# The two packages hold nineteen pictures; four of them are abstract graphics
# (Fossa, Painting-Colors, analogpattern, umang) and are left out, so the
# sixteenth slide is a second, distinct framing of the Picos de Europa
# photograph: the snow-streaked peaks on its right.
# The order alternates landscapes with still lifes.
readonly SLIDES=(
  "slide01.jpg|aitzgorri_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|centre"
  "slide02.jpg|seeding_by_Clements_Engelhardt.jpg|lomiri-wallpapers-16.04|Clemens Engelhardt, 2018|CC0-1.0|centre"
  "slide03.jpg|Picture_0B_by_freespace.jpg|lomiri-wallpapers-16.04|Trevor \"Freespace\", 2018|CC-BY-4.0|centre"
  "slide04.jpg|life_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|centre"
  "slide05.jpg|Kleiber_by_Lukas_Baubkus.jpg|lomiri-wallpapers-20.04|Lukas Baubkus, 2021|CC-BY-SA-3.0|centre"
  "slide06.jpg|Picture_1A_by_freespace.jpg|lomiri-wallpapers-16.04|Trevor \"Freespace\", 2018|CC-BY-4.0|centre"
  "slide07.jpg|picosdeeuropa_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|centre"
  "slide08.jpg|Dragonfly_by_Bolly.jpg|lomiri-wallpapers-16.04|\"Bolly\", 2018|CC-BY-SA-4.0|centre"
  "slide09.jpg|friends_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|centre"
  "slide10.jpg|sunset_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|centre"
  "slide11.jpg|Bridge_by_Sander_Klootwijk.jpg|lomiri-wallpapers-16.04|Sander Klootwijk, 2018|CC-BY-SA-4.0|centre"
  "slide12.jpg|free_by_Peter_Nerlich.jpg|lomiri-wallpapers-16.04|Peter Nerlich, 2018|CC-BY-SA-4.0|centre"
  "slide13.jpg|Infinite-Sea_by_Aury88.jpg|lomiri-wallpapers-20.04|Aury88, 2019|CC-BY-SA-3.0|centre"
  "slide14.jpg|Wine_by_Jakkub_Mede.jpg|lomiri-wallpapers-16.04|Jakub Mede, 2018|CC-BY-4.0|centre"
  "slide15.jpg|picosdeeuropa_by_Aitzol_Berasategi.jpg|lomiri-wallpapers-16.04|Aitzol Berasategi, 2018|CC-BY-4.0|1632x1224+1500+300"
  "slide16.jpg|greentock_by_Peter_Nerlich.jpg|lomiri-wallpapers-16.04|Peter Nerlich, 2018|CC-BY-SA-4.0|centre"
)

die() {
  echo "make-slides: $*" >&2
  exit 1
}

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd "$script_dir/../.." && pwd)
out_dir=${1:-$repo_root/resources/slides}

# --- Check the tools and the photographs before touching anything. ---------
missing_tools=()
command -v convert >/dev/null 2>&1 || missing_tools+=("convert (package imagemagick)")
command -v identify >/dev/null 2>&1 || missing_tools+=("identify (package imagemagick)")
command -v cjpeg >/dev/null 2>&1 || missing_tools+=("cjpeg (package libjpeg-turbo-progs)")
if ((${#missing_tools[@]})); then
  die "missing tool(s): ${missing_tools[*]}. Install them first, e.g. apt-get install imagemagick libjpeg-turbo-progs"
fi
if ! cjpeg -version 2>&1 | grep -q 'libjpeg-turbo'; then
  die "cjpeg is not libjpeg-turbo's (package libjpeg-turbo-progs); other encoders give other bytes"
fi

missing_packages=()
for entry in "${SLIDES[@]}"; do
  IFS='|' read -r _ source package _ _ _ <<<"$entry"
  if [[ ! -r $BACKGROUNDS/$source ]]; then
    [[ " ${missing_packages[*]-} " == *" $package "* ]] || missing_packages+=("$package")
  fi
done
if ((${#missing_packages[@]})); then
  die "photographs missing from $BACKGROUNDS; install the package(s): apt-get install ${missing_packages[*]}"
fi

mkdir -p "$out_dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- Make each slide. -------------------------------------------------------
for entry in "${SLIDES[@]}"; do
  IFS='|' read -r name source package author licence crop <<<"$entry"
  src=$BACKGROUNDS/$source

  if [[ $crop == centre ]]; then
    read -r w h < <(identify -format '%w %h\n' "${src}[0]")
    if ((w * 3 > h * 4)); then
      cw=$((h * 4 / 3)) ch=$h
    else
      cw=$w ch=$((w * 3 / 4))
    fi
    crop="${cw}x${ch}+$(((w - cw) / 2))+$(((h - ch) / 2))"
  fi

  ppm=$work/${name%.jpg}.ppm
  convert "${src}[0]" -auto-orient -crop "$crop" +repage \
    -filter Lanczos -resize "${WIDTH}x${HEIGHT}!" \
    -colorspace sRGB -type TrueColor -depth 8 "ppm:$ppm"

  quality=$MAX_QUALITY
  while :; do
    cjpeg -quality "$quality" -sample 2x2,1x1,1x1 -baseline -optimize \
      -outfile "$work/$name" "$ppm"
    size=$(stat -c %s "$work/$name")
    ((size <= MAX_BYTES || quality <= MIN_QUALITY)) && break
    quality=$((quality - 1))
  done
  ((size <= MAX_BYTES)) || die "$name: $size bytes even at quality $quality (limit $MAX_BYTES)"
  ((size >= MIN_BYTES)) || die "$name: only $size bytes at quality $quality (want at least $MIN_BYTES)"

  mv "$work/$name" "$out_dir/$name"
  printf '%s  %7d bytes  quality %d  %s crop %s\n' "$name" "$size" "$quality" "$source" "$crop"
done

# --- Write the credits from the same table. ---------------------------------
licence_url() {
  case $1 in
    CC0-1.0) echo "https://creativecommons.org/publicdomain/zero/1.0/" ;;
    CC-BY-4.0) echo "https://creativecommons.org/licenses/by/4.0/" ;;
    CC-BY-SA-3.0) echo "https://creativecommons.org/licenses/by-sa/3.0/" ;;
    CC-BY-SA-4.0) echo "https://creativecommons.org/licenses/by-sa/4.0/" ;;
    *) die "no address known for licence $1" ;;
  esac
}

package_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo unknown
}

{
  cat <<'EOF'
Built-in slides: credits and licences
=====================================

The sixteen slides in this folder are photographs from Debian's
lomiri-wallpapers-16.04 and lomiri-wallpapers-20.04 packages (upstream:
https://gitlab.com/ubports/development/core/lomiri-wallpapers), where they
are installed under /usr/share/backgrounds.  The authors and licences below
are those given in the packages' copyright files.

Changes made to every picture: cut to a 4:3 area (about the picture's centre
unless a crop is given), scaled to 1024 x 768 pixels and re-encoded as a
baseline JPEG.  tools/slides/make-slides.sh does all of it and rebuilds this
file.

Each slide is distributed under the licence of its photograph.

EOF
  printf 'Made with: lomiri-wallpapers-16.04 %s, lomiri-wallpapers-20.04 %s,\n' \
    "$(package_version lomiri-wallpapers-16.04)" "$(package_version lomiri-wallpapers-20.04)"
  printf '           imagemagick %s, libjpeg-turbo-progs %s\n\n' \
    "$(package_version imagemagick)" "$(package_version libjpeg-turbo-progs)"
  for entry in "${SLIDES[@]}"; do
    IFS='|' read -r name source package author licence crop <<<"$entry"
    printf '%s\n' "$name"
    printf '  Source:   %s, file %s\n' "$package" "$source"
    printf '  Author:   %s\n' "$author"
    printf '  Licence:  %s (%s)\n' "$licence" "$(licence_url "$licence")"
    if [[ $crop == centre ]]; then
      printf '  Changes:  centred 4:3 crop, scaled to 1024 x 768, re-encoded\n'
    else
      printf '  Changes:  detail %s (source pixels), scaled to 1024 x 768, re-encoded\n' "$crop"
    fi
    printf '\n'
  done
} >"$work/CREDITS"
mv "$work/CREDITS" "$out_dir/CREDITS"
echo "CREDITS written; slides in $out_dir"
