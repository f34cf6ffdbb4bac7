// The downloader's and the download command's own texts, in code page 936.
#pragma once

#include "text/text.h"

#include <string_view>

namespace quillmoor {

// Converts a UTF-8 literal once into code page 936.
Text cp936(std::string_view utf8);

namespace download_texts {

const Text& not_initialised();     // 没有初始化
const Text& already_running();     // 正在下载中……
const Text& cannot_open_file();    // 本地文件无法打开
const Text& block_timed_out();     // 数据下载超时，建议重试。
const Text& stopped_by_user();     // 用户中止了下载
const Text& no_resume_support();   // 服务器不支持断点续传！
const Text& length_unknown();      // 文件长度未知！
const Text& finished();            // 下载完毕
const Text& wrong_range();         // the answer's range is not the one asked for
const Text& remote_file_changed(); // the remote file's length changed during the transfer
const Text& local_file_differs();  // the local file is not a part of the remote file
const Text& cannot_write_file();   // a block could not be written
const Text& file_too_large();      // beyond 2^31 - 1 bytes
const Text& no_connection();       // no answer at all from the server

const Text& empty_address_warning(); // 下载地址不正确，请检查地址是否已经解析！
const Text& warning_title();         // 友情提醒：
const Text& finish_title();          // 信息：

} // namespace download_texts
} // namespace quillmoor
