#include "task/AppTaskBase.h"

AppTaskBase::AppTaskBase(QObject* parent) : QObject(parent) {}

AppTaskBase::~AppTaskBase() = default;

int AppTaskBase::ProgressTotal(int /*mode*/) {
    return 0;
}

bool AppTaskBase::RunTask(const TaskValues& /*values*/, int /*mode*/) {
    return false;
}

bool AppTaskBase::LoadList(TaskList& /*list*/, const QString& /*paramKey*/, const TaskValues& /*values*/) {
    emit writeLog(3, QStringLiteral("Not set up yet."), QStringLiteral("AppTaskBase::LoadList"));
    return false;
}

std::unique_ptr<AppTaskBase> AppTaskBase::CreateTask() {
    return std::make_unique<AppTaskBase>();
}
