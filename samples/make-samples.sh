#!/bin/sh
# Makes the sample pictures of this folder: a few small drawings in every
# format the program reads (BMP, GIF, JPEG, WMF), among them a pair that shares
# its base name (Blume.bmp, Blume.jpg) to show the version tag. Needs
# ImageMagick's convert and python3. Run from anywhere; writes next to itself.
set -eu
cd "$(dirname "$0")"

# Evening sky over dark hills with the sun going down.
convert -size 320x240 gradient:'#1b2457'-'#f39a45' \
    -fill '#ffe07a' -draw 'circle 210,170 210,140' \
    -fill '#2d3a22' -draw 'polygon 0,190 70,165 150,185 230,160 320,180 320,240 0,240' \
    -fill '#182012' -draw 'polygon 0,215 90,200 200,220 320,205 320,240 0,240' \
    -strip -quality 85 Abendrot.jpg

# A flower, drawn twice: small as BMP, larger and in other colours as JPEG.
flower() { # size background-from background-to petal centre output
    w=${1%x*}; h=${1#*x}; cx=$((w / 2)); cy=$((h / 2)); r=$((h / 5)); pr=$((h / 9))
    petals=""
    for a in 0 45 90 135 180 225 270 315; do
        petals="$petals -draw \"translate $cx,$cy rotate $a ellipse 0,-$r $pr,$r 0,360\""
    done
    eval convert -size "$1" radial-gradient:"'$2'"-"'$3'" -fill "'$4'" "$petals" \
        -fill "'$5'" -draw "\"circle $cx,$cy $cx,$((cy + h / 9))\"" -strip "$6"
}
flower 100x75 '#e4f2d8' '#5d8c48' '#d94f86' '#f6c531' BMP3:Blume.bmp
flower 240x180 '#fdf3d6' '#c07b2a' '#7b4fd9' '#fff2a0' Blume.jpg
convert Blume.jpg -quality 85 Blume.jpg

# A tower against the sky, upright.
convert -size 150x300 gradient:'#7fb6e8'-'#e8f2fb' \
    -fill '#8d8a84' -draw 'rectangle 50,70 100,300' \
    -fill '#6d6a64' -draw 'polygon 45,72 75,20 105,72' \
    -fill '#2a3140' -draw 'rectangle 68,110 82,135' -draw 'rectangle 68,170 82,195' \
    -draw 'rectangle 62,250 88,300' \
    -fill '#4c7a36' -draw 'rectangle 0,285 150,300' \
    -strip -quality 85 Turm.jpg

# A map in a few flat colours: sea, an island, a grid and a marked place.
convert -size 200x150 xc:'#3a78b5' \
    -fill '#d9c58f' -draw 'polygon 30,40 80,20 150,35 175,80 140,125 70,120 35,90' \
    -fill '#7fae5b' -draw 'polygon 60,55 100,40 140,60 130,100 85,105 60,85' \
    -stroke '#ffffff80' -draw 'line 0,50 200,50' -draw 'line 0,100 200,100' \
    -draw 'line 67,0 67,150' -draw 'line 133,0 133,150' -stroke none \
    -fill '#c0282d' -draw 'circle 110,72 110,78' \
    -colors 16 -strip Karte.gif

# A metafile: house, sun and tree from filled polygons, rectangles, ellipses.
python3 ./make_wmf.py Muster.wmf
