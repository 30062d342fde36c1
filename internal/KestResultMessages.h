// The message logged with each result code (Shift_JIS in the binaries), in one table that
// every library, test and tool uses.
#pragma once

#include "KestResult.h"

namespace kest {

struct ResultMessage {
    ResultCode code;
    const char* text;
};

inline constexpr ResultMessage kResultMessages[] = {
    {KEST_E_NO_MEMORY, "メモリーの確保に失敗しました。"},
    {KEST_E_NO_INSTALL_PATH, "インストールパス名の取得に失敗しました。"},
    {KEST_E_NO_SETTINGS_FILE, "環境設定ファイルが見つかりません。"},
    {KEST_E_SETTINGS_READ, "環境設定ファイルからの値の読み込みに失敗しました。"},
    {KEST_E_SETTINGS_WRITE, "環境設定ファイルへの値の書き込みに失敗しました。"},
    {KEST_E_SETTINGS_INVALID, "環境設定ファイルの値が不正です。"},
    {KEST_E_OMIT_SELECT_INVALID, "環境設定ファイルの[MyCertificate] - OmitSelectCert の値が不正です。"},
    {KEST_E_STORE_OPEN, "証明書ストアのオープンに失敗しました。"},
    {KEST_E_CERT_ADD, "証明書の追加に失敗しました。"},
    {KEST_E_CERT_DELETE, "証明書の削除に失敗しました。"},
    {KEST_E_CERT_DUPLICATE, "証明書コンテキストの複製に失敗しました。"},
    {KEST_E_PKCS12_INVALID, "PKCS#12形式データが不正です。"},
    {KEST_E_PKCS12_PASSWORD, "PKCS#12形式データのパスワードに誤りがあります。"},
    {KEST_E_PKCS12_IMPORT, "PKCS#12形式データのインポートに失敗しました。"},
    {KEST_E_FILE_TIME, "ファイル日時形式からシステム日時形式への変更に失敗しました。"},
};

// The second message of KEST_E_SETTINGS_READ: a read buffer below the minimum size.
inline constexpr char kMessageBufferTooSmall[] = "バッファーサイズが不足しています。";

// The logged message of a code, or an empty text for a code outside the table.
constexpr const char* resultMessage(ResultCode code) noexcept {
    for (const ResultMessage& entry : kResultMessages)
        if (entry.code == code) return entry.text;
    return "";
}

}  // namespace kest
