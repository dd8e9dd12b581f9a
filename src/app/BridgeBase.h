// The Norv extractor's application object: its information values, the connection and school groups with
// their requirements, the test of each group, the school and teacher list loaders, and the settings read
// from each "CVSchoolConf" element of the target application's configuration.
//
// Everything that needs the Norv source goes through the private "source access" operations at the end
// of this class; each one is the single place where the extraction engine is called.
// Owns: nothing beyond SISConfig.
// REQUIRES: one object per process (the toolkit's message handler is process-wide).
#pragma once

#include "app/SISConfig.h"

#include <QList>
#include <QStringList>

class BridgeBase : public SISConfig {
    Q_OBJECT
    Q_DISABLE_COPY(BridgeBase)

  public:
    explicit BridgeBase(QObject* parent = nullptr);
    BridgeBase(SISMessageWriter& writer, QObject* parent);
    ~BridgeBase() override;

  protected:
    int testGroup(const QString& group, QString& message) override;
    int bridgeListValues(const QString& key) override;
    int districtListValues(const QString& key) override;
    int schoolListValues(const QString& key) override;
    int yearListValues(const QString& key) override;
    void configSettings(const QDomElement& element) override;
    bool executeTask(const ParamValues& values, int mode) override;
    bool verifyTask(const ParamValues& values) override;

  private:
    void declareSchoolParams();

    // ---- Source access: the calls into the extraction engine -----------------------------------------
    // Each forwards to the engine that SISConfig owns; the engine reports its own failures.
    bool sourceOpenConnection(const QString& dsn, const QString& user, const QString& pwd);
    bool sourceValidateSchool(const QString& school, const QString& dsn, const QString& user,
                              const QString& pwd);
    // Records of the source's schools: (number, name, display name).
    bool sourceSchoolList(QList<QStringList>& records, const QString& dsn, const QString& user,
                          const QString& pwd);
    // Records of the list named by key (for this program "teacher"): (key, display name).
    bool sourceBridgeList(QList<QStringList>& records, const QString& key, const ParamValues& values);
    // The extraction run (the task object's Execute).
    bool sourceExecute(const ParamValues& values, int mode);
};
