#include "download/download_texts.h"

#include "text/codepage.h"

namespace quillmoor {

Text cp936(std::string_view utf8) {
    return utf8_to_cp936(utf8);
}

namespace download_texts {

#define QUILLMOOR_DOWNLOAD_TEXT(name, utf8)                                                        \
    const Text& name() {                                                                           \
        static const Text text = cp936(utf8);                                                      \
        return text;                                                                               \
    }

QUILLMOOR_DOWNLOAD_TEXT(not_initialised, "没有初始化")
QUILLMOOR_DOWNLOAD_TEXT(already_running, "正在下载中……")
QUILLMOOR_DOWNLOAD_TEXT(cannot_open_file, "本地文件无法打开")
QUILLMOOR_DOWNLOAD_TEXT(block_timed_out, "数据下载超时，建议重试。")
QUILLMOOR_DOWNLOAD_TEXT(stopped_by_user, "用户中止了下载")
QUILLMOOR_DOWNLOAD_TEXT(no_resume_support, "服务器不支持断点续传！")
QUILLMOOR_DOWNLOAD_TEXT(length_unknown, "文件长度未知！")
QUILLMOOR_DOWNLOAD_TEXT(finished, "下载完毕")
QUILLMOOR_DOWNLOAD_TEXT(wrong_range, "服务器返回的数据范围不正确！")
QUILLMOOR_DOWNLOAD_TEXT(remote_file_changed, "服务器上的文件已经改变，请重新下载！")
QUILLMOOR_DOWNLOAD_TEXT(local_file_differs, "本地文件与服务器上的文件不一致！")
QUILLMOOR_DOWNLOAD_TEXT(cannot_write_file, "写入本地文件失败！")
QUILLMOOR_DOWNLOAD_TEXT(file_too_large, "文件太大，不能超过2GB！")
QUILLMOOR_DOWNLOAD_TEXT(no_connection, "无法连接到服务器！")
QUILLMOOR_DOWNLOAD_TEXT(empty_address_warning, "下载地址不正确，请检查地址是否已经解析！")
QUILLMOOR_DOWNLOAD_TEXT(warning_title, "友情提醒：")
QUILLMOOR_DOWNLOAD_TEXT(finish_title, "信息：")

#undef QUILLMOOR_DOWNLOAD_TEXT

} // namespace download_texts
} // namespace quillmoor
