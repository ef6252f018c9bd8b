#!/usr/bin/env bash
# The race harness: while a run walks a tree of a few thousand files, a
# helper swaps one of its subfolders for a link to a folder outside both
# trees, atomically and in a tight loop. Whatever the run meets, nothing
# outside may be written, created, deleted or have its attributes changed,
# and nothing outside may be read into the destination. Four cases:
# destination under -S -FORCE and under -SYNCHRONIZE, source under -X and
# under -SYNCHRONIZE; VXF_RACE_TRIALS trials each (25 by default); then the
# destination again under -OWNER -XATTR, where the swapped folder's files
# have another owner and an attribute: no chown, no setxattr outside. Then a
# root itself is swapped once the copy has begun: destination and source
# under -SYNCHRONIZE, source under -X; VXF_RACE_ROOT_TRIALS each (8). The
# cases named in VXF_RACE_CASES (all by default) are run.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "the race harness"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
helper=${VX_RACE_HELPER:-}
[ -n "$helper" ] && [ -x "$helper" ] || { skip "race helper not built"; exit 0; }

S=$VX_SW
trials=${VXF_RACE_TRIALS:-25}
cases=${VXF_RACE_CASES:-dest-copy dest-mirror source-move source-mirror dest-metadata root-dest-mirror root-source-mirror root-source-move}
runs=0
VXF_TIMEOUT=60
# In memory where the machine has room: a hundred trees are made and removed.
work=$VX_TMP
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  work=$(mktemp -d /dev/shm/veltrix-race.XXXXXX) && trap 'rm -rf "$work"; vxf_cleanup' EXIT || work=$VX_TMP
fi
template=$work/template
outside=$work/outside
src=$work/src
dst=$work/dst

# The tree: 12 folders of 200 files, the swapped one ("m") deeper and fuller,
# so that the walk spends time inside it and around it.
mkdir -p "$template"
for d in a b c d e f g h i j k m; do
  mkdir -p "$template/$d/inner"
  for i in $(seq 1 150); do printf 'tree %s %s\n' "$d" "$i" >"$template/$d/f$i.txt"; done
  for i in $(seq 1 50); do printf 'tree %s inner %s\n' "$d" "$i" >"$template/$d/inner/g$i.txt"; done
done
for i in $(seq 1 600); do printf 'tree m more %s\n' "$i" >"$template/m/inner/h$i.txt"; done
# What -OWNER and -XATTR would give the files outside, were they reached.
chown -R 1000:1000 "$template/m" 2>/dev/null || true
command -v setfattr >/dev/null && setfattr -n user.tag -v tree "$template"/m/*.txt "$template"/m/inner/*.txt 2>/dev/null

# Outside: the same names as the swapped folder, other content, read-only
# files among them, and a marker in every file to spot a read.
make_outside() {
  rm -rf "$outside"
  mkdir -p "$outside/inner"
  for i in $(seq 1 150); do printf 'OUTSIDE-%s\n' "$i" >"$outside/f$i.txt"; done
  for i in $(seq 1 50); do printf 'OUTSIDE-inner-%s\n' "$i" >"$outside/inner/g$i.txt"; done
  printf 'OUTSIDE-only\n' >"$outside/only_outside.txt"
  chown -R 65534:65534 "$outside" 2>/dev/null || true
  chmod 0444 "$outside/f1.txt" "$outside/f2.txt"
  "$helper" manifest "$outside" >"$VX_TMP/.outside.before"
}
make_outside
total_swaps=0

# trial CASE SIDE ARGS...: one run while SIDE/m is swapped with a link to
# outside; for the root-* cases, SIDE itself, once the copy has begun.
trial() {
  local what=$1 side=$2
  shift 2
  rm -rf "$src" "$dst" "$work/.rootswap"
  cp -a "$template" "$src"
  case "$what" in
    dest-*) cp -a "$template" "$dst"; printf 'stale\n' >"$dst/m/stale.txt"; touch -d 2001-01-01 "$dst"/m/f*.txt ;;
    root-dest*) mkdir -p "$dst/m"; printf 'stale\n' >"$dst/m/stale.txt" ;;
    *) mkdir -p "$dst" ;;
  esac
  case "$what" in
    root-*)
      ln -s "$outside" "$work/.rootswap"
      "$helper" swap-after "$dst/a/f1.txt" "$side" "$work/.rootswap" >"$VX_TMP/.swaps" & ;;
    *)
      ln -s "$outside" "$side/.swap"
      "$helper" swap "$side/m" "$side/.swap" >"$VX_TMP/.swaps" & ;;
  esac
  local swapper=$!
  # Every other trial prepares files on 8 threads: the held-folder rules
  # hold in each of them.
  local threads=()
  [ $((t % 2)) = 0 ] && threads=("${S}THREADS:8")
  vxf_run "$src" "$dst" "$@" "${threads[@]}" "${S}SILENT" "${S}Q" "${S}C"
  kill -TERM "$swapper" 2>/dev/null
  wait "$swapper"
  total_swaps=$((total_swaps + $(cat "$VX_TMP/.swaps" 2>/dev/null || echo 0)))
  vxf_rc_clean "$what"
  "$helper" manifest "$outside" >"$VX_TMP/.outside.after"
  if ! cmp -s "$VX_TMP/.outside.before" "$VX_TMP/.outside.after"; then
    diff "$VX_TMP/.outside.before" "$VX_TMP/.outside.after" | head -5 >&2
    fail "$what: the folder outside both trees changed (trial $t)"
  fi
  if grep -rlq OUTSIDE "$dst" 2>/dev/null; then
    fail "$what: a file outside was read into the destination (trial $t): $(grep -rl OUTSIDE "$dst" | head -3)"
  fi
  # A mirror whose source root was swapped purges against the source held.
  if [ "$what" = root-source-mirror ]; then
    local lost
    lost=$(comm -23 <(cd "$template" && find . -type f | sort) <(cd "$dst" && find . -type f | sort) | head -3)
    [ -z "$lost" ] || fail "root-source-mirror: destination files lost (trial $t): $lost"
  fi
  # Under -X every file of the tree is still somewhere: in the source or the destination.
  if [ "$what" = source-move ] || [ "$what" = root-source-move ]; then
    local lost
    lost=$(comm -23 <(cd "$template" && find . -type f | sort) \
                    <({ (cd "$src" && find . -type f); (cd "$dst" && find . -type f); } | sort -u) | head -3)
    [ -z "$lost" ] || fail "source-move: files lost (trial $t): $lost"
  fi
}

# run_case CASE SIDE WHAT ARGS...
run_case() {
  local what=$1 side=$2 text=$3
  shift 3
  case " $cases " in *" $what "*) ;; *) return ;; esac
  for t in $(seq 1 "$trials"); do trial "$what" "$side" "$@"; done
  runs=$((runs + trials))
  pass "$text: nothing outside touched in $trials trials"
}

run_case dest-copy "$dst" "destination subfolder swapped for a link, -S -FORCE" "${S}S" "${S}FORCE"
run_case dest-mirror "$dst" "destination subfolder swapped for a link, -SYNCHRONIZE" "${S}S" "${S}SYNCHRONIZE"
run_case source-move "$src" "source subfolder swapped for a link, -X (nothing read, nothing lost)" "${S}S" "${S}X"
run_case source-mirror "$src" "source subfolder swapped for a link, -SYNCHRONIZE (nothing read)" "${S}S" "${S}SYNCHRONIZE"
run_case dest-metadata "$dst" "destination subfolder swapped for a link, -OWNER -XATTR (no chown, no setxattr)" \
  "${S}S" "${S}E" "${S}FORCE" "${S}OWNER" "${S}XATTR"
trials=${VXF_RACE_ROOT_TRIALS:-8}
run_case root-dest-mirror "$dst" "destination root swapped for a link mid-run, -SYNCHRONIZE" "${S}S" "${S}SYNCHRONIZE"
run_case root-source-mirror "$src" "source root swapped for a link mid-run, -SYNCHRONIZE (nothing lost)" "${S}S" "${S}SYNCHRONIZE"
run_case root-source-move "$src" "source root swapped for a link mid-run, -X (nothing removed outside)" "${S}S" "${S}X"
[ "$total_swaps" -gt "$runs" ] || fail "the helper hardly swapped ($total_swaps swaps): no race was run"
echo "     $total_swaps swaps in $runs runs"
