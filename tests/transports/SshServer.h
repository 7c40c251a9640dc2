// OpenSSH's server on a free loopback port, run from a temporary folder with its own host
// key and config, its ForceCommand running a command of the test's. HOME is set to the
// folder's "home", whose default key root may log in with; no agent is used.
#pragma once

#include "tests/transports/TransportTestUtil.h"

#include <QFile>

struct TSshServer
{
    static constexpr const char *Banner = "Members only.\r\n";
    QTemporaryDir Dir;
    uint16_t Port = 0;
    std::unique_ptr<TChild> Sshd;

    QString Path(const QString &name) const { return Dir.filePath(name); }
    static bool Run(const QString &program, const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(program, args);
        p.write(input);
        p.closeWriteChannel();
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // False when sshd does not start here.
    bool Start(const std::string &forceCommand)
    {
        const auto rx = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther |
                        QFile::ReadGroup | QFile::ExeGroup;
        QFile::setPermissions(Dir.path(), rx | QFile::WriteOwner); // other accounts run the command too
        QDir().mkpath(Path("home/.ssh"));
        Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", Path("hostkey")});
        Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", Path("home/.ssh/id_ed25519")});
        QFile::copy(Path("home/.ssh/id_ed25519.pub"), Path("authorized_keys_root"));
        WriteAll(Path("command.sh"), "#!/bin/sh\n" + forceCommand + "\n");
        WriteAll(Path("banner"), Banner);
        QFile::setPermissions(Path("command.sh"), rx);
        Port = UnusedPort();
        WriteAll(Path("sshd_config"),
                 "ListenAddress 127.0.0.1:" + std::to_string(Port) + "\nHostKey " +
                     Path("hostkey").toStdString() + "\nPidFile " + Path("sshd.pid").toStdString() +
                     "\nAuthorizedKeysFile " + Path("authorized_keys_%u").toStdString() +
                     "\nStrictModes no\nUsePAM no\nPermitRootLogin yes\nPasswordAuthentication yes\n"
                     "KbdInteractiveAuthentication no\nBanner " +
                     Path("banner").toStdString() + "\nForceCommand " + Path("command.sh").toStdString() +
                     "\n");
        QDir().mkpath("/run/sshd"); // the privilege separation folder sshd insists on
        qputenv("HOME", Path("home").toUtf8());
        qunsetenv("SSH_AUTH_SOCK");
        Sshd = std::make_unique<TChild>();
        if (Sshd->StartOn("/usr/sbin/sshd", {"-D", "-e", "-f", Path("sshd_config")}, Port)) return true;
        Sshd.reset();
        return false;
    }

    // The server's key as a known_hosts line.
    std::string KnownHostsLine() const
    {
        const std::string key = ReadAll(Path("hostkey.pub"));
        return "[127.0.0.1]:" + std::to_string(Port) + " " + key.substr(0, key.rfind(' ')) + "\n";
    }
};
