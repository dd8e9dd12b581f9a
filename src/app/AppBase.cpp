// AppBase: construction and the wiring of the application object's signals to the host and the log. The
// other concerns of the class live beside this file: the parameter registry (AppBaseParams.cpp), the host
// commands and their finishing (AppBaseCommands.cpp), the validate modes (AppBaseValidate.cpp), the log
// header, usage text and toolkit messages (AppBaseMessages.cpp); the status files have a class of their
// own (StatusFiles).
#include "app/AppBase.h"

#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"

AppBase::AppBase(QObject* parent) : AppBase(SISMessageWriter::instance(), parent) {}

AppBase::AppBase(SISMessageWriter& writer, QObject* parent)
    : QObject(parent),
      appTitle_(QStringLiteral("Velmora Application")),
      appType_(QStringLiteral("Application")),
      appFrameworkVersion_(QStringLiteral("1.0.0.0")),
      minVersion_(QStringLiteral("2.00.0033")),
      appFinishedFile_(QStringLiteral("finished.tmp")),
      log_(LogManager::instance()),
      writer_(writer) {
    wire();
    addGroup(QStringLiteral("global"));
}

AppBase::~AppBase() {
    restoreMessageHandler();
}

void AppBase::wire() {
    SISMessageWriter* w = &writer_;
    // Direct whatever thread emits: the source watchdog's handler finishes a command from its own thread
    // while this one waits, and a queued message would never be written.
    const auto link = [this](auto signal, auto* receiver, auto slot) {
        connect(this, signal, receiver, slot, Qt::DirectConnection);
    };
    link(&AppBase::writeLog, &log_, &LogManager::log);
    link(&AppBase::writeVersion, w, &SISMessageWriter::outVersion);
    link(&AppBase::writeParams, w, &SISMessageWriter::outParams);
    link(&AppBase::writeHiddenParam, w, &SISMessageWriter::outHiddenParam);
    link(&AppBase::writeList, w, &SISMessageWriter::outList);
    link(&AppBase::writeTree, w, &SISMessageWriter::outTree);
    link(&AppBase::writeHidden, w, &SISMessageWriter::outHidden);
    link(&AppBase::writeFile, w, &SISMessageWriter::outFile);
    link(&AppBase::writeNumber, w, &SISMessageWriter::outNumber);
    link(&AppBase::writeDate, w, &SISMessageWriter::outDate);
    link(&AppBase::writeTest, w, &SISMessageWriter::outTest);
    link(&AppBase::writeStatus, w, &SISMessageWriter::outStatus);
    link(&AppBase::writeManage, w, &SISMessageWriter::outManage);
    link(&AppBase::writeProgress, w, &SISMessageWriter::outProgress);
    link(&AppBase::writeProgressIncrement, w, &SISMessageWriter::outProgress_increment);
    link(&AppBase::writeProgressWarning, w, &SISMessageWriter::outProgress_warning);
    link(&AppBase::writeSetting, w, &SISMessageWriter::outSetting);
    link(&AppBase::writeSettingIncrement, w,
         qOverload<const QString&, const QString&, const QString&, const QString&>(
             &SISMessageWriter::outSetting_increment));
    link(&AppBase::writeSettingIncrementGrouping, w,
         qOverload<const QString&, const QString&, const QString&, const QString&, const QString&>(
             &SISMessageWriter::outSetting_increment));
    link(&AppBase::writeWarning, w, &SISMessageWriter::outWarning);
    link(&AppBase::writeMissing, w, &SISMessageWriter::outMissing);
    link(&AppBase::writeError, w, &SISMessageWriter::outError);
    link(&AppBase::clearMessages, w, &SISMessageWriter::clearMessages);
}
