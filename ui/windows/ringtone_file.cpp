// SPDX-License-Identifier: GPL-3.0-or-later
#include "ringtone_file.h"

namespace sundrel {

RingtoneFile RingtoneFile::At(const std::filesystem::path& path) { return {path, IdentifyFile(path)}; }

std::optional<QString> RingtoneLost(const RingtoneFile& ringtone)
{
    const std::optional<FileIdentity> now = IdentifyFile(ringtone.Path);
    if (ringtone.Identity && now == ringtone.Identity)
        return std::nullopt;
    if (!now)
        return QStringLiteral("找不到铃声文件，请重新剪切！");
    return QStringLiteral("铃声已被其他程序改变，请重新剪切！");
}

}  // namespace sundrel
