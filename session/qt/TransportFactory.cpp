#include "session/qt/TransportFactory.h"

#include "session/qt/TcpTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

using TMakeSecure = TTransport *(int kind, const char *configFolder);
using TMakeChecks = THostChecks *(const THostProber::TDone *done);

// The TLS and SSH transports live in the module winmarlet-secure.so, opened on the first
// connection that needs them: libssh, OpenSSL and Kerberos would otherwise be loaded and
// relocated at every start. It is looked for in the program's lib/winmarlet (installed:
// bin/../lib/winmarlet), and, for a program that runs from the build tree, in the build's.
void *SecureModule()
{
    static void *const module = []() -> void * {
        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
        QStringList dirs{
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lib/winmarlet"))};
        const QString build = QStringLiteral(WM_SECURE_MODULE_BUILD_DIR);
        const QString buildRoot = QDir(build + QStringLiteral("/../..")).canonicalPath();
        if (!buildRoot.isEmpty() && exe.startsWith(buildRoot + QLatin1Char('/'))) dirs << build;
        for (const QString &dir : dirs) {
            const QString path = QDir(dir).filePath(QStringLiteral("winmarlet-secure.so"));
            if (!QFileInfo::exists(path)) continue;
            if (void *m = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL)) return m;
        }
        return nullptr;
    }();
    return module;
}

template <typename F> F *SecureFunction(const char *name)
{
    void *module = SecureModule();
    return module ? reinterpret_cast<F *>(::dlsym(module, name)) : nullptr;
}

} // namespace

TTransportFactory ProgramTransports(const std::string &configFolder)
{
    return [configFolder](THostTransport kind) -> std::unique_ptr<TTransport> {
        if (kind == THostTransport::Tcp) return std::make_unique<TTcpTransport>();
        TMakeSecure *make = SecureFunction<TMakeSecure>("WmMakeSecureTransport");
        return std::unique_ptr<TTransport>(make ? make(static_cast<int>(kind), configFolder.c_str())
                                                : nullptr);
    };
}

std::unique_ptr<THostChecks> MakeHostChecks(THostProber::TDone done)
{
    TMakeChecks *make = SecureFunction<TMakeChecks>("WmMakeHostChecks");
    return std::unique_ptr<THostChecks>(make ? make(&done) : nullptr);
}
