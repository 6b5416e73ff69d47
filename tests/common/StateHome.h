#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>

// Runs keep their request records in the user's state directory. A test program gives itself
// and the programs it starts a fresh one, removed when it ends, so that no test writes into the
// home directory of whoever runs it.
class TestStateHome {
public:
    TestStateHome() {
        if (dir_.isValid()) ::setenv("XDG_STATE_HOME", dir_.path().toLocal8Bit().constData(), 1);
    }

private:
    QTemporaryDir dir_;
};
