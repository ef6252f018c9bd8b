# The data sets of the benchmarks, sourced by bench/run.sh and bench/syscalls.sh.

# make_tree DIR FILES FOLDERS MIN MAX: files of MIN..MAX bytes spread over
# folders d0000, d0001, ... named f000000.dat, f000001.dat, ...
make_tree() {
  python3 - "$@" <<'PY'
import os, random, sys
root, files, folders, lo, hi = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rnd = random.Random(42)
blob = os.urandom(hi + 4096)
for d in range(folders):
    os.makedirs(os.path.join(root, "d%04d" % d), exist_ok=True)
for i in range(files):
    size = rnd.randint(lo, hi)
    start = rnd.randint(0, 4096)
    with open(os.path.join(root, "d%04d" % (i % folders), "f%06d.dat" % i), "wb") as f:
        f.write(blob[start:start + size])
PY
}

# add_extras DIR FILES FOLDERS MIN SPAN: files x000000.dat, ... of MIN to
# MIN+SPAN-1 random bytes spread over the folders of a tree made by
# make_tree, for a mirror to delete.
add_extras() {
  python3 - "$@" <<'PY'
import os, sys
root, files, folders, lo, span = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
for i in range(files):
    with open(os.path.join(root, "d%04d" % (i % folders), "x%06d.dat" % i), "wb") as f:
        f.write(os.urandom(lo + i % span))
PY
}
