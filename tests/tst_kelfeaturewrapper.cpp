#include "features/kelfeaturewrapper.h"

#include "testsupport.h"

#include <functional>

using namespace KelCPP;
using namespace KelCPP::Sim;
Q_DECLARE_METATYPE(KelCPP::Sim::Fault)

namespace {

const QByteArray description = R"json({ "format": 1, "features": [
    { "name": "Label", "type": "String", "value": "camera-7" },
    { "name": "Lut", "type": "Raw", "size": 4 } ] })json";

// Each getter with the operation it forwards to: a fault there must reach it.
using TextGetter = KelErrorType (KelFeatureWrapper::*)(std::string&) const;
const std::pair<Op, TextGetter> textGetters[] = {
    { Op::GetValue, &KelFeatureWrapper::GetValue }, { Op::GetName, &KelFeatureWrapper::GetName },
    { Op::GetDisplayName, &KelFeatureWrapper::GetDisplayName },
    { Op::GetCategory, &KelFeatureWrapper::GetCategory }, { Op::GetUnit, &KelFeatureWrapper::GetUnit },
    { Op::GetRepresentation, &KelFeatureWrapper::GetRepresentation },
    { Op::GetToolTip, &KelFeatureWrapper::GetToolTip },
    { Op::GetDescription, &KelFeatureWrapper::GetDescription },
};

} // namespace

class TestKelFeatureWrapper : public QObject
{
    Q_OBJECT

private slots:
    // Only the value getter replaces its output after a failure (with an
    // empty text); the other text getters leave it alone.
    void textReads_data()
    {
        QTest::addColumn<int>("getter");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("text");
        for (int i = 0; i < int(std::size(textGetters)); ++i) {
            const char* op = OpName(textGetters[i].first);
            const QByteArray kept = textGetters[i].first == Op::GetValue ? "" : "previous";
            QTest::addRow("%s fails", op) << i << Fault::Always(KelError::Timeout) << int(KelError::Timeout) << kept;
            QTest::addRow("%s reports length 0", op) << i << Fault::ZeroLength() << 0 << QByteArray();
        }
        QTest::newRow("string value cut at its first NUL") << 0 << Fault::EmbeddedNul() << 0 << QByteArray("camera-7");
    }

    void textReads()
    {
        QFETCH(int, getter);
        QFETCH(Fault, fault);
        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        camera->InjectFault("Label", textGetters[getter].first, fault);
        const KelFeatureWrapper wrapper(TestSupport::FindFeature(*camera, "Label"));
        std::string output = "previous";
        QTEST(int(std::invoke(textGetters[getter].second, wrapper, output)), "code");
        QTEST(QByteArray::fromStdString(output), "text");
    }

    void byteVectors()
    {
        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        KelFeatureWrapper lut(TestSupport::FindFeature(*camera, "Lut"));
        QCOMPARE(lut.SetValue(std::vector<std::uint8_t>()), KelError::BadParameter);
        QCOMPARE(camera->CallCount("Lut", Op::SetValue), std::uint64_t(0));

        QCOMPARE(lut.SetValue(std::vector<std::uint8_t>{ 1, 2 }), KelError::Success);
        std::vector<std::uint8_t> value;
        std::uint32_t filled = 0;
        QCOMPARE(lut.GetValue(value, filled), KelError::Success);
        QCOMPARE(value, (std::vector<std::uint8_t>{ 1, 2, 0, 0 })); // the device's size
        QCOMPARE(filled, std::uint32_t(4));

        camera->InjectFault("Lut", Op::GetValue, Fault::ZeroLength());
        QCOMPARE(lut.GetValue(value, filled), KelError::Success);
        QVERIFY(value.empty());
        QCOMPARE(filled, std::uint32_t(0));
    }
};

QTEST_GUILESS_MAIN(TestKelFeatureWrapper)
#include "tst_kelfeaturewrapper.moc"
