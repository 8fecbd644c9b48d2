// Fixed numeric ids through which the workspace pages, the commands and the
// hidden native controls of the main window meet. Command ids double as the
// ids of the controls that send them.
#pragma once

namespace Velmor {

enum ControlId : int {
    // Identity and connection.
    idUserNameBox = 1001,
    idConnectButton = 1002,
    idConnectionStatusLabel = 1003,

    // Rooms.
    idRoomNameBox = 1004,
    idGameBox = 1005,
    idCreateRoomButton = 1006,
    idRefreshButton = 1007,
    idJoinRoomButton = 1008,
    idRoomListView = 1009,
    idTranscriptBox = 1010,
    idRoomMessageBox = 1011,
    idSendButton = 1012,
    idLeaveRoomButton = 1014,

    // People.
    idOnlineUsersList = 1013,
    idFriendsList = 1015,
    idRecentUsersList = 1016,
    idRoomMembersList = 1017,
    idAddFriendButton = 1018,
    idRemoveFriendButton = 1019,
    idManageBlockedButton = 1020,

    // Workspace navigation (commands 1021-1026 and 1028 select pages 0-6).
    idNavRoomChat = 1021,
    idNavPeople = 1022,
    idNavFriends = 1023,
    idNavRecent = 1024,
    idNavRooms = 1025,
    idNavSettings = 1026,
    idNavDiagnostics = 1028,

    // Settings.
    idNotificationSoundCheck = 1027,
    idLanguageCombo = 1034,
    idThemeCombo = 1037,

    // Diagnostics.
    idLogViewBox = 1029,
    idLogFilterCombo = 1030,
    idCopyLogButton = 1031,
    idExportLogButton = 1032,
    idClearLogButton = 1033,
    idStatusBar = 1035,
    idLogSearchBox = 1036,
    idFollowTailCheck = 1038,
    idLogSummaryLabel = 1039,

    // Labels.
    idUsernameLabel = 2001,
    idRoomLabel = 2002,
    idGameLabel = 2003,
    idRoomChatLabel = 2004,
    idOnlineCountLabel = 2005,
    idFriendsLabel = 2006,
    idRecentLabel = 2007,
    idRoomsLabel = 2008,
    idRoomMembersLabel = 2009,
    idProductHeaderLabel = 2010,
    idPageTitleLabel = 2011,
    idAlertsNoteLabel = 2012,
    idLanguageLabel = 2013,
    idDiagnosticsPrivacyLabel = 2014,
    idThemeLabel = 2015,

    // Direct-message window children.
    idDmTranscriptBox = 4101,
    idDmInputBox = 4102,
    idDmSendButton = 4103,

    // Player actions (native menu and runPlayerCommand).
    idPlayerMessage = 5101,
    idPlayerAddFriend = 5102,
    idPlayerRemoveFriend = 5103,
    idPlayerBlock = 5104,
    idPlayerUnblock = 5105,
    idPlayerTransferHost = 5106,
    idPlayerKick = 5107,

    // First id of the blocked-users menu; item i is idUnblockMenuBase + i.
    idUnblockMenuBase = 6000,

    idQuickNavigation = 7004,
};

// Timers.
inline constexpr unsigned kToastLifetimeTimerId = 1;          // toast window, 4500 ms
inline constexpr unsigned kDirectMessageAckTimerId = 54273;   // DM window, 12000 ms one-shot
inline constexpr unsigned kModerationTimerId = 0xD402;        // main window, 8000 ms one-shot
inline constexpr unsigned kFrameTimerId = 0xD501;             // main window, 16 ms

}  // namespace Velmor
