#!/bin/sh
# Run once in the emulated PC when its image is made (the image is written
# through, not a snapshot): finishes the packages whose set-up needed to run
# 32-bit code, which the host cannot, and makes the Wine prefixes the runs
# use, so that no run waits for one. Each run sees them through the sealed
# network's overlay and boots the image as a snapshot, so no run changes them.
# Like scripts/test, it goes on when wineboot complains (it does under
# WOW64); a prefix counts as made when wine_prefix_ensure marked it ready.
export TZ=UTC LANG=C.UTF-8
dpkg --configure -a || echo "guest: dpkg --configure -a failed"
. /mnt/src/scripts/lib/wine.sh
for p in winxp:win32 win7:win64; do
    name=${p%%:*} arch=${p##*:}
    started=$(cut -d' ' -f1 /proc/uptime)
    wine_prefix_ensure "/root/build/wine/$name" "$arch" "$name"
    echo "guest: prefix $name: $(ls /root/build/wine/$name/.diagnova-ready 2>/dev/null || echo not made)" \
        "($started s to $(cut -d' ' -f1 /proc/uptime) s of uptime)"
done
sync
test -f /root/build/wine/winxp/.diagnova-ready && test -f /root/build/wine/win7/.diagnova-ready
