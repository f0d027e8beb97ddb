// Every kept fuzz input (seeds and whatever a fuzzer once found) through the same checks the
// fuzzers make, so a fixed fault stays fixed.
#include "FuzzEntries.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

using Entry = std::string (*)(const uint8_t *, size_t);

void addInputs(const char *target) {
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(HORALET_TEST_DATA "/fuzz/") + QLatin1String(target));
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QVERIFY2(!names.isEmpty(), "no inputs kept for this target");
    for (const QString &name : names)
        QTest::addRow("%s", qPrintable(name)) << dir.filePath(name);
}

void replay(Entry entry) {
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const std::string failure =
        entry(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    QVERIFY2(failure.empty(), failure.c_str());
}

} // namespace

class TestFuzzInputs : public QObject {
    Q_OBJECT

private slots:
    void profileFile_data() { addInputs("profile_file"); }
    void profileFile() { replay(FuzzEntries::profileFile); }
    void codePage_data() { addInputs("code_page"); }
    void codePage() { replay(FuzzEntries::codePage); }
    void taskStore_data() { addInputs("task_store"); }
    void taskStore() { replay(FuzzEntries::taskStore); }
    void snapcast_data() { addInputs("snapcast"); }
    void snapcast() { replay(FuzzEntries::snapcast); }
};

QTEST_GUILESS_MAIN(TestFuzzInputs)
#include "test_fuzz_inputs.moc"
