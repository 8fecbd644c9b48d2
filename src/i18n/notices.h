// Source texts of the notices that exist only in an Arabic source form. Callers
// pass these constants to `localize`, which gives their English, French or
// Spanish wording in those languages and the Arabic text itself in Arabic.
#pragma once

namespace Velmor {

// The connection could not be opened and the transport gave no error text.
inline constexpr wchar_t kNoticeSecureConnectionFailed[] = L"تعذر إنشاء اتصال WebSocket آمن.";

// The server announced no "moderation_v2" capability.
inline constexpr wchar_t kNoticeOutdatedServer[] =
    L"تحذير: الخادم المنشور على Cloudflare نسخة قديمة لا تدعم الحظر/تحويل الهوست/الركل. "
    L"شغّل update-cloudflare-worker.ps1 لنشر server/worker.js الجديد.";

// The room host role passed to the user.
inline constexpr wchar_t kNoticeNowRoomHost[] =
    L"أصبحت أنت هوست الغرفة الآن. انقر بزر الفأرة الأيمن على أي لاعب في الغرفة لركله أو تحويل الهوست إليه.";

// Player menu: the two host commands, and the greyed note shown to other
// members ("...: " + host + ")" when the host is known, else the short form).
inline constexpr wchar_t kMenuTransferHostToPlayer[] = L"تحويل الهوست لهذا اللاعب";
inline constexpr wchar_t kMenuKickFromRoom[] = L"ركل من الغرفة";
inline constexpr wchar_t kMenuHostOnlyCurrentHost[] = L"(الهوست فقط · الهوست الحالي: ";
inline constexpr wchar_t kMenuHostOnly[] = L"(الهوست فقط)";

// Unconfirmed moderation request: prefix + the pending request + suffix.
inline constexpr wchar_t kNoticeUnconfirmedRequestPrefix[] = L"لم يؤكد الخادم الطلب: ";
inline constexpr wchar_t kNoticeUnconfirmedRequestSuffix[] =
    L". غالبًا الخادم المنشور قديم؛ شغّل update-cloudflare-worker.ps1 ثم أعد الاتصال.";

}  // namespace Velmor
