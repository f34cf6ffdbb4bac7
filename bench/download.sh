#!/usr/bin/env bash
# Download benchmark: quillmoor-cli's serial ranged download against the limits of this machine.
#
# Starts nginx on 127.0.0.1 serving a 256 MiB file of random bytes, then fetches that file with
#   - quillmoor-cli download, 20 KB blocks (the window's setting) and 255 KB blocks,
#   - wrk -t1 -c1 asking for the first 20 KB block again and again (the most requests per second
#     that one connection asking one block after another can get from this server),
#   - curl, the whole file in one request, and aria2c with one connection.
# Every downloaded file is compared byte for byte with the source; a wrong one fails the run.
#
# Usage: bash bench/download.sh
# Environment: QUILLMOOR_BUILD_DIR  build folder to use (default: build)
#              QUILLMOOR_BENCH_RUNS runs of each download, the median is shown (default: 3)
#              QUILLMOOR_BENCH_MIB  size of the test file in MiB (default: 256)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=${QUILLMOOR_BUILD_DIR:-$root/build}
runs=${QUILLMOOR_BENCH_RUNS:-3}
size_mib=${QUILLMOOR_BENCH_MIB:-256}
wrk_seconds=5

# --- what the benchmark needs ----------------------------------------------------------------
declare -A package_of=([/usr/sbin/nginx]=nginx [/usr/bin/wrk]=wrk [/usr/bin/curl]=curl
                       [/usr/bin/aria2c]=aria2 [/usr/bin/time]=time)
missing=()
for tool in "${!package_of[@]}"; do
    [ -x "$tool" ] || missing+=("${package_of[$tool]}")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build_dir" -G Ninja >/dev/null
fi
cmake --build "$build_dir" --target quillmoor-cli >/dev/null
cli=$build_dir/bin/quillmoor-cli

# --- a temporary folder on disk, removed on exit ---------------------------------------------
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-bench.XXXXXX")
nginx_pid=""
cleanup() {
    if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill "$nginx_pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$nginx_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)
mkdir -p "$tmp/www"
source_file=$tmp/www/file.bin
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$source_file"
size=$(stat -c %s "$source_file")

# --- nginx: one process as the current user, no daemon, everything in the temp folder ---------
start_nginx() {
    local port=$1 user_line=""
    [ "$(id -u)" -ne 0 ] || user_line="user $(id -un) $(id -gn);"
    cat >"$tmp/nginx.conf" <<EOF
$user_line
daemon off;
master_process off;
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    keepalive_timeout 300s;
    default_type application/octet-stream;
    client_body_temp_path $tmp/body;
    proxy_temp_path $tmp/proxy;
    fastcgi_temp_path $tmp/fastcgi;
    uwsgi_temp_path $tmp/uwsgi;
    scgi_temp_path $tmp/scgi;
    server {
        listen 127.0.0.1:$port;
        root $tmp/www;
    }
}
EOF
    /usr/sbin/nginx -p "$tmp" -e "$tmp/error.log" -c "$tmp/nginx.conf" 2>>"$tmp/error.log" &
    nginx_pid=$!
    for _ in $(seq 50); do
        kill -0 "$nginx_pid" 2>/dev/null || return 1
        curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$port/file.bin" && return 0
        sleep 0.1
    done
    return 1
}

port=""
for _ in $(seq 20); do
    candidate=$((20000 + RANDOM % 40000))
    if start_nginx "$candidate"; then
        port=$candidate
        break
    fi
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=""
done
[ -n "$port" ] || { cat "$tmp/error.log" >&2; fail "nginx did not start"; }
url=http://127.0.0.1:$port/file.bin

# --- measuring --------------------------------------------------------------------------------
# timed NAME OUTPUT COMMAND...: runs the command under /usr/bin/time -v, checks its exit status
# and its output file, and appends "seconds peak_kib" to $tmp/NAME.runs.
timed() {
    local name=$1 output=$2
    shift 2
    rm -f "$output"
    local t0=$EPOCHREALTIME
    if ! /usr/bin/time -v -o "$tmp/$name.time" "$@" >"$tmp/$name.log" 2>&1; then
        tail -5 "$tmp/$name.log" >&2
        fail "$name exited with an error"
    fi
    local t1=$EPOCHREALTIME
    cmp -s "$source_file" "$output" || fail "$name: the downloaded file differs from the source"
    local peak
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$tmp/$name.time")
    echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}') $peak" >>"$tmp/$name.runs"
    rm -f "$output"
}

# median seconds and largest peak of a NAME's runs
summary() {
    sort -n "$tmp/$1.runs" | awk '{s[NR] = $1; if ($2 > p) p = $2}
        END {printf "%.6f %d\n", s[int((NR + 1) / 2)], p}'
}

for _ in $(seq "$runs"); do
    timed quillmoor-20k "$tmp/q20.bin" "$cli" download "$url" "$tmp/q20.bin" --block-size 20
    timed quillmoor-255k "$tmp/q255.bin" "$cli" download "$url" "$tmp/q255.bin" --block-size 255
    timed curl "$tmp/curl.bin" curl -sS -o "$tmp/curl.bin" "$url"
    timed aria2c "$tmp/aria2.bin" aria2c -q -x1 -s1 --allow-overwrite=true \
        --auto-file-renaming=false -d "$tmp" -o aria2.bin "$url"
done

# The serial block protocol's limit: the same request as quillmoor's first 20 KB block, one
# connection, one request at a time.
wrk -t1 -c1 -d"${wrk_seconds}s" \
    -H 'Accept: */*' -H 'User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)' \
    -H 'Range: bytes=0-20479' -H 'Content-Type: application/octet-stream' \
    -H 'Pragma: no-cache' -H 'Cache-Control: no-cache' "$url" >"$tmp/wrk.log" 2>&1 ||
    fail "wrk exited with an error"
wrk_rps=$(awk '/^Requests\/sec:/ {print $2}' "$tmp/wrk.log")
[ -n "$wrk_rps" ] || { cat "$tmp/wrk.log" >&2; fail "wrk printed no rate"; }
grep -q 'Non-2xx' "$tmp/wrk.log" && fail "wrk got answers other than 206"

# --- the table --------------------------------------------------------------------------------
mib() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.1f", b / 1048576 / s}'; }
blocks() { echo $(((size + $1 - 1) / $1)); }
rate() { awk -v n="$1" -v s="$2" 'BEGIN {printf "%.0f", n / s}'; }

read -r q20_s q20_kib < <(summary quillmoor-20k)
read -r q255_s q255_kib < <(summary quillmoor-255k)
read -r curl_s curl_kib < <(summary curl)
read -r aria_s aria_kib < <(summary aria2c)
q20_bps=$(rate "$(blocks 20480)" "$q20_s")
q255_bps=$(rate "$(blocks 261120)" "$q255_s")

echo
echo "file: $((size / 1048576)) MiB of random bytes in $tmp on $(df --output=fstype "$tmp" |
    tail -1) (disk; the file sits in the page cache, so every client reads it from memory)"
echo "server: nginx $(/usr/sbin/nginx -v 2>&1 | sed 's|.*/||') on 127.0.0.1, sendfile on," \
    "one keep-alive connection; $(nproc) cores, load average at start $load_at_start"
echo "each download: median time of $runs runs, peak memory of all runs"
echo
row() {
    printf '| %-28s | %7s | %7s | %10s | %12s |\n' "$1" "$2" "$3" "$4" "$5"
}
row client seconds MiB/s 'requests/s' 'peak RSS MiB'
echo '|------------------------------|---------|---------|------------|--------------|'
kib_to_mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
row "quillmoor-cli, 20 KB blocks" "$(printf %.2f "$q20_s")" "$(mib "$size" "$q20_s")" \
    "$q20_bps" "$(kib_to_mib "$q20_kib")"
row "quillmoor-cli, 255 KB blocks" "$(printf %.2f "$q255_s")" "$(mib "$size" "$q255_s")" \
    "$q255_bps" "$(kib_to_mib "$q255_kib")"
row "wrk -t1 -c1, bytes=0-20479" "${wrk_seconds}.00" \
    "$(awk -v r="$wrk_rps" 'BEGIN {printf "%.1f", r * 20480 / 1048576}')" \
    "$(printf %.0f "$wrk_rps")" "-"
row "curl, whole file" "$(printf %.2f "$curl_s")" "$(mib "$size" "$curl_s")" "-" \
    "$(kib_to_mib "$curl_kib")"
row "aria2c -x1 -s1" "$(printf %.2f "$aria_s")" "$(mib "$size" "$aria_s")" "-" \
    "$(kib_to_mib "$aria_kib")"
echo
awk -v a="$q255_s" -v c="$curl_s" 'BEGIN {printf "255 KB blocks MiB/s / curl MiB/s: %.2f\n", c / a}'
awk -v k="$q20_kib" -v l="$q255_kib" 'BEGIN {m = k > l ? k : l
    printf "peak resident memory of quillmoor-cli: %.1f MiB\n", m / 1024}'
awk -v q="$q20_bps" -v w="$wrk_rps" \
    'BEGIN {printf "quillmoor 20 KB blocks/s / wrk requests/s: %.2f\n", q / w}'
