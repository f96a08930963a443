#pragma once

#include <QJsonArray>
#include <optional>

#include "sandbox/RecordedRequest.h"
#include "sandbox/ScriptedReply.h"

namespace kova::sandbox {

class AppServer;

// The hosted connect page: a plain page with its own script that lists the
// banks (or opens the one it was given), takes a user name and password and
// then navigates the way the real page does, to ".../link", ".../success?…",
// ".../error?msg=…&bankID=…" or ".../exit". The credentials decide the outcome
// (see the README).
class ConnectPage {
public:
    static constexpr const char *Path = "/v3/connection";

    explicit ConnectPage(AppServer &appServer) : m_appServer(appServer) {}

    // The answer for a request under the page's path, or nothing for any
    // other request.
    std::optional<ScriptedReply> handle(const RecordedRequest &request);

    // {"id", "name", "country"} of every bank the page offers.
    static QJsonArray banks();

private:
    ScriptedReply login(const RecordedRequest &request);

    AppServer &m_appServer;
};

} // namespace kova::sandbox
