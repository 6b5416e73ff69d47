#pragma once

#include <QTemporaryDir>

#include <cstdlib>
#include <string>

// The demo certificates of tools/make-demo-certs.sh, which name every host the engine
// simulator plays (api.indexnow.org, www.example.com, Google's hosts, 127.0.0.1), made once for
// the whole test program: server.pem, server.key and ca.pem in the folder given; empty when
// they could not be made.
inline const std::string& demoCertificates() {
    static const std::string dir = [] {
        static QTemporaryDir made;
        const std::string path = made.path().toStdString();
        const std::string command =
            "'" LARKSPAN_SOURCE_DIR "/tools/make-demo-certs.sh' '" + path + "' >/dev/null 2>&1";
        return made.isValid() && std::system(command.c_str()) == 0 ? path : std::string();
    }();
    return dir;
}
