// The questions a TLS or SSH transport asks the user: whether to trust a key or certificate
// seen for the first time, and the SSH password. Both are window-modal and answer through
// the callback when closed (no nested event loop); every text is shown as plain text.
#pragma once

#include "session/Transport.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

void AskTrustDialog(QWidget *parent, const TTrustQuestion &question, std::function<void(bool accept)> answer);
void AskPasswordDialog(QWidget *parent, const std::string &user, const std::string &host,
                       std::function<void(std::optional<std::string> password)> answer);
