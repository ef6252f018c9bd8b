# Mounting bench/latencyfs.c, sourced by bench/latency.sh and bench/run.sh.

latencyfs_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# latencyfs_missing: says what this machine lacks to mount latencyfs and
# succeeds, or fails silently when nothing is missing. VX_FUSE_DEV names the
# device to look for (to try the skipping on a machine that has one).
latencyfs_missing() {
  local dev=${VX_FUSE_DEV:-/dev/fuse}
  if [ ! -e "$dev" ]; then echo "$dev is missing"
  elif ! command -v fusermount3 >/dev/null; then echo "fusermount3 is missing (package fuse3)"
  elif ! command -v pkg-config >/dev/null; then echo "pkg-config is missing"
  elif ! pkg-config --exists fuse3; then echo "libfuse3 is missing (package libfuse3-dev)"
  elif ! command -v gcc >/dev/null; then echo "gcc is missing"
  else return 1; fi
}

# latencyfs_build PROGRAM: compiles latencyfs into PROGRAM.
latencyfs_build() {
  gcc -O2 -o "$1" "$latencyfs_dir/latencyfs.c" $(pkg-config --cflags --libs fuse3)
}

# latencyfs_mount PROGRAM BACKING MOUNTPOINT DELAY: serves BACKING at
# MOUNTPOINT, waiting DELAY microseconds in every operation; returns once the
# mount is there (the program goes to the background when it is).
latencyfs_mount() {
  "$1" "$2" "$3" "$4" || return 1
  for _ in $(seq 50); do mountpoint -q "$3" && return 0; sleep 0.1; done
  echo "latencyfs did not mount $3" >&2
  return 1
}

# latencyfs_unmount MOUNTPOINT: never fails, so that it can run in a trap
# (also after the program died, leaving a mount that answers nothing).
latencyfs_unmount() {
  fusermount3 -u "$1" 2>/dev/null || umount -l "$1" 2>/dev/null || true
}
