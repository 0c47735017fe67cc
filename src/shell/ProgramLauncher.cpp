#include "shell/ProgramLauncher.h"

#include <QProcess>

namespace vk {

bool startWithParameterString(const QString& program, const QString& parameters) {
    QProcess process;
    process.setProgram(program);
#ifdef Q_OS_WIN
    // Windows hands a program one command line: the string goes as it stands
    process.setNativeArguments(parameters);
#else
    process.setArguments({parameters});
#endif
    return process.startDetached();
}

}  // namespace vk
