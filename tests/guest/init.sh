#!/bin/sh
# First process of the emulated PC that runs the 32-bit program's complete
# runs. Mounts the kernel's file systems and the three shares from the host
# (the source tree and the build read-only, the output folder writable), runs
# the job the host left in the output folder, and powers off. There is no
# network device: nothing in here can reach a network.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs -o size=1536m tmpfs /tmp
hostname diagnova-guest
ip link set lo up
modprobe 9pnet_virtio
modprobe 9p
for share in src build out; do
    mkdir -p "/mnt/$share"
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 "$share" "/mnt/$share" ||
        echo "guest: the host's $share share cannot be mounted"
done
echo "guest: up after $(cut -d' ' -f1 /proc/uptime) s"
if [ -f /mnt/out/job.sh ]; then
    sh /mnt/out/job.sh
    echo "$?" >/mnt/out/job.rc
else
    echo "guest: no job from the host"
fi
sync
umount /mnt/out 2>/dev/null
echo "guest: powering off after $(cut -d' ' -f1 /proc/uptime) s"
echo o >/proc/sysrq-trigger
sleep 60
