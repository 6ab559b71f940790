#pragma once
// Message ids of the send jobs and their dialogs (rows of the string table).

constexpr unsigned kMsgBadPasswordLength = 160;
constexpr unsigned kMsgBadUserIdLength = 161;
constexpr unsigned kMsgUnreadablePrintFile = 173;
constexpr unsigned kMsgNoPhonesInFile = 181;
constexpr unsigned kMsgPhonesPagesMismatch = 182;
constexpr unsigned kMsgSplitFailed = 183;
constexpr unsigned kMsgCannotOpenSendFile = 1019;
constexpr unsigned kMsgNoSendFile = 1020;
constexpr unsigned kMsgSinglePagesNotImplemented = 9301;
constexpr unsigned kMsgCannotCreateFbl = 9302;
constexpr unsigned kMsgNothingSent = 9303;
constexpr unsigned kMsgListNameTooLong = 9304;
constexpr unsigned kMsgCannotSign = 9305;     // %s = file
constexpr unsigned kMsgCannotMovePart = 9306; // %s = file
// A submission got no reply it could read: it may still have been accepted.
constexpr unsigned kMsgNoSubmitReply = 9320;
// The service could not be reached: nothing of the submission was sent.
constexpr unsigned kMsgSubmitNotSent = 9321;
// The proxy refused the submission for want of a right user and password: nothing was sent.
constexpr unsigned kMsgProxyRefused = 9322;
// The service's certificate failed verification; %s the host. Nothing was sent.
constexpr unsigned kMsgCertificateFailed = 9323;
// The service accepted a submission whose job file could not be written; %s the job id, %s why.
constexpr unsigned kMsgAcceptedNotRecorded = 9307;
