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
#              QUILLMOOR_BENCH_RUNS rounds of all clients, the median is shown (default: 5)
#              QUILLMOOR_BENCH_MIB  size of the test file in MiB (default: 256)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=${QUILLMOOR_BUILD_DIR:-$root/build}
runs=${QUILLMOOR_BENCH_RUNS:-5}
size_mib=${QUILLMOOR_BENCH_MIB:-256}
wrk_seconds=3

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

# --- the client under test, built as a user would build it ------------------------------------
if ! { [ -f "$build_dir/CMakeCache.txt" ] || cmake -S "$root" -B "$build_dir" -G Ninja; } \
    >"$tmp/build.log" 2>&1 ||
    ! cmake --build "$build_dir" --target quillmoor-cli >>"$tmp/build.log" 2>&1; then
    cat "$tmp/build.log" >&2
    fail "quillmoor-cli did not build"
fi
cli=$build_dir/bin/quillmoor-cli

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
# and its output file, and appends "seconds peak_kib cpu_seconds" to $tmp/NAME.runs.
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
    awk -F': ' -v a="$t0" -v b="$t1" '
        /Maximum resident set size/ {peak = $2}
        /User time \(seconds\)/ || /System time \(seconds\)/ {cpu += $2}
        END {printf "%.6f %d %.2f\n", b - a, peak, cpu}' "$tmp/$name.time" >>"$tmp/$name.runs"
    rm -f "$output"
}

# The serial block protocol's limit: the same request as quillmoor's first 20 KB block, one
# connection, one request at a time. Appends the requests per second to $tmp/wrk.runs.
run_wrk() {
    wrk -t1 -c1 -d"${wrk_seconds}s" \
        -H 'Accept: */*' -H 'User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)' \
        -H 'Range: bytes=0-20479' -H 'Content-Type: application/octet-stream' \
        -H 'Pragma: no-cache' -H 'Cache-Control: no-cache' "$url" >"$tmp/wrk.log" 2>&1 ||
        fail "wrk exited with an error"
    ! grep -q 'Non-2xx' "$tmp/wrk.log" || fail "wrk got answers other than 206"
    awk '/^Requests\/sec:/ {print $2; found = 1} END {exit !found}' "$tmp/wrk.log" \
        >>"$tmp/wrk.runs" || { cat "$tmp/wrk.log" >&2; fail "wrk printed no rate"; }
}

# Median of column COLUMN of $tmp/NAME.runs; "max" instead of a column number: the largest
# peak memory.
median() {
    sort -g -k"$2,$2" "$tmp/$1.runs" | awk -v c="$2" '{v[NR] = $c} END {print v[int((NR + 1) / 2)]}'
}
largest_peak() {
    awk '$2 > p {p = $2} END {print p}' "$tmp/$1.runs"
}

# The "cpu" line of /proc/stat: time spent in each state by all cores, the 8th being the time a
# virtual machine's host gave to others (steal).
cpu_times() { awk '/^cpu / {printf "%d %d\n", $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9, $9}' /proc/stat; }
read -r total_before steal_before < <(cpu_times)

# Rounds of every client in turn, so that a busy moment of the machine touches them alike.
for _ in $(seq "$runs"); do
    timed quillmoor-20k "$tmp/q20.bin" "$cli" download "$url" "$tmp/q20.bin" --block-size 20
    timed quillmoor-255k "$tmp/q255.bin" "$cli" download "$url" "$tmp/q255.bin" --block-size 255
    timed curl "$tmp/curl.bin" curl -sS -o "$tmp/curl.bin" "$url"
    timed aria2c "$tmp/aria2.bin" aria2c -q -x1 -s1 --allow-overwrite=true \
        --auto-file-renaming=false -d "$tmp" -o aria2.bin "$url"
    run_wrk
done

read -r total_after steal_after < <(cpu_times)
steal=$(awk -v t=$((total_after - total_before)) -v s=$((steal_after - steal_before)) \
    'BEGIN {printf "%.0f", (t > 0 ? 100 * s / t : 0)}')

# --- the table --------------------------------------------------------------------------------
mib_s() { awk -v b="$size" -v s="$1" 'BEGIN {printf "%.1f", b / 1048576 / s}'; }
per_s() { awk -v n="$1" -v s="$2" 'BEGIN {printf "%.0f", n / s}'; }
in_mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
row() {
    printf '| %-28s | %7s | %7s | %10s | %7s | %12s |\n' "$@"
}
# client row: LABEL NAME [BLOCK_BYTES]
client_row() {
    local seconds
    seconds=$(median "$2" 1)
    local rate="-"
    [ -z "${3:-}" ] || rate=$(per_s $(((size + $3 - 1) / $3)) "$seconds")
    row "$1" "$(printf %.2f "$seconds")" "$(mib_s "$seconds")" "$rate" "$(median "$2" 3)" \
        "$(in_mib "$(largest_peak "$2")")"
}

wrk_rps=$(sort -g "$tmp/wrk.runs" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
q20_s=$(median quillmoor-20k 1)
q255_s=$(median quillmoor-255k 1)
curl_s=$(median curl 1)
q20_rate=$(per_s $(((size + 20479) / 20480)) "$q20_s")

echo
echo "file: $((size / 1048576)) MiB of random bytes in $tmp on $(df --output=fstype "$tmp" |
    tail -1) (disk; the file sits in the page cache, so every client reads it from memory)"
echo "server: nginx $(/usr/sbin/nginx -v 2>&1 | sed 's|.*/||') on 127.0.0.1, sendfile on," \
    "one keep-alive connection; $(nproc) cores, load average at start $load_at_start"
echo "CPU time taken by the host of this virtual machine (steal) while measuring: $steal%"
echo "each client: median of $runs rounds (wrk: ${wrk_seconds} s a round); peak memory: the" \
    "largest of all rounds; CPU s: user + system time of the client"
echo
row client seconds MiB/s 'requests/s' 'CPU s' 'peak RSS MiB'
echo '|------------------------------|---------|---------|------------|---------|--------------|'
client_row "quillmoor-cli, 20 KB blocks" quillmoor-20k 20480
client_row "quillmoor-cli, 255 KB blocks" quillmoor-255k 261120
row "wrk -t1 -c1, bytes=0-20479" "-" \
    "$(awk -v r="$wrk_rps" 'BEGIN {printf "%.1f", r * 20480 / 1048576}')" \
    "$(printf %.0f "$wrk_rps")" "-" "-"
client_row "curl, whole file" curl
client_row "aria2c -x1 -s1" aria2c
echo
awk -v a="$q255_s" -v c="$curl_s" \
    'BEGIN {printf "quillmoor 255 KB blocks MiB/s / curl MiB/s: %.2f (target: at least 0.50)\n", c / a}'
echo "peak resident memory of quillmoor-cli: $(in_mib "$(largest_peak quillmoor-20k)") MiB" \
    "with 20 KB blocks, $(in_mib "$(largest_peak quillmoor-255k)") MiB with 255 KB (target: under 40)"
awk -v q="$q20_rate" -v w="$wrk_rps" 'BEGIN {printf "quillmoor 20 KB blocks/s / wrk requests/s:" \
    " %.2f (target: at least 0.80)\n", q / w}'
