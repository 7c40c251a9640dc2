#include "session/qt/TransportFactory.h"

#include "session/qt/TcpTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

using TMakeSecure = TTransport *(int kind, const char *configFolder);

// The TLS and SSH transports live in the module winmarlet-secure.so, opened on the first
// connection that needs them: libssh, OpenSSL and Kerberos would otherwise be loaded and
// relocated at every start. It is looked for in the program's lib/winmarlet (installed:
// bin/../lib/winmarlet), and, for a program that runs from the build tree, in the build's.
TMakeSecure *SecureMaker()
{
    static TMakeSecure *const make = []() -> TMakeSecure * {
        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
        QStringList dirs{
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lib/winmarlet"))};
        const QString build = QStringLiteral(WM_SECURE_MODULE_BUILD_DIR);
        const QString buildRoot = QDir(build + QStringLiteral("/../..")).canonicalPath();
        if (!buildRoot.isEmpty() && exe.startsWith(buildRoot + QLatin1Char('/'))) dirs << build;
        for (const QString &dir : dirs) {
            const QString path = QDir(dir).filePath(QStringLiteral("winmarlet-secure.so"));
            if (!QFileInfo::exists(path)) continue;
            if (void *module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
                return reinterpret_cast<TMakeSecure *>(::dlsym(module, "WmMakeSecureTransport"));
        }
        return nullptr;
    }();
    return make;
}

} // namespace

TTransportFactory ProgramTransports(const std::string &configFolder)
{
    return [configFolder](THostTransport kind) -> std::unique_ptr<TTransport> {
        if (kind == THostTransport::Tcp) return std::make_unique<TTcpTransport>();
        TMakeSecure *make = SecureMaker();
        return std::unique_ptr<TTransport>(make ? make(static_cast<int>(kind), configFolder.c_str())
                                                : nullptr);
    };
}
