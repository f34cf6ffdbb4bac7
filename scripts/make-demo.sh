#!/usr/bin/env bash
# Makes the demo folder that the run command shares: a Chinese name, a name with an
# apostrophe and a space, and a file of several MB. Existing files are kept.
set -euo pipefail
dir=${1:?usage: make-demo.sh FOLDER}
mkdir -p "$dir"
[ -f "$dir/快速入门.txt" ] || printf '欢迎使用 Quillmoor！\n粘贴分享链接，点击“一键解析”，再到“下载中心”点击“高速下载”。\n' >"$dir/快速入门.txt"
[ -f "$dir/Tarrowin's notes.txt" ] || printf "Notes about the demo share.\nResolve, then download: the file resumes where it stopped.\n" >"$dir/Tarrowin's notes.txt"
[ -f "$dir/demo-8MB.bin" ] || head -c 8388608 /dev/urandom >"$dir/demo-8MB.bin"
