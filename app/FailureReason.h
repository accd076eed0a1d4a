#pragma once
// The Turkish line a failed tile adds under the control's own message: the reason an operator can
// act on, taken from the control's error number and the cause it carries (never from its English
// text).

#include <QString>

namespace dova {
class VNCVariant;
}

// number: DOVAErrorsEnum; cause: the Error event's v1 (a DOVAErrorCausesEnum value, or missing).
QString FailureReasonText(int number, const dova::VNCVariant& cause);

// A failed tile's text when the computer wants a password and its record holds none.
QString PasswordMissingText();

// Whether a failure may be tried again without the operator: only the network's failures (no route,
// refused, lost, silent). A refused password tried every few seconds gets the operator's address
// blacklisted by the server; it and the other refusals wait for the button or a changed record.
bool IsNetworkFailure(int number);
// The tile's text for a server certificate nobody has confirmed yet.
QString CertificateApprovalText();
// The short mark a connected tile shows (empty without encryption), and the full sentence.
QString SecurityBadgeText(bool encrypted, bool verified);
QString SecurityStateText(bool encrypted, bool verified);
