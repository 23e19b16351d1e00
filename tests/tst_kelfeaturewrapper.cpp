#include "features/kelfeaturewrapper.h"

#include "testsupport.h"

#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using KelCPP::KelErrorType;
using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;
namespace KelError = KelCPP::KelError;

namespace {

const QByteArray description = R"json({
  "format": 1,
  "features": [
    { "name": "Gain", "type": "Integer", "displayName": "Gain Level", "description": "Amplifies.",
      "tooltip": "Amplification", "category": "/Analog", "unit": "dB" },
    { "name": "Label", "type": "String", "value": "camera-7" },
    { "name": "Lut", "type": "Raw", "size": 4, "value": "0a0b0c0d" }
  ]
})json";

using TextGetter = KelErrorType (KelFeatureWrapper::*)(std::string&) const;

struct TextOperation {
    const char* feature;
    Op op;
    TextGetter get;
};

const TextOperation textOperations[] = {
    { "Label", Op::GetValue, static_cast<TextGetter>(&KelFeatureWrapper::GetValue) },
    { "Gain", Op::GetName, &KelFeatureWrapper::GetName },
    { "Gain", Op::GetDisplayName, &KelFeatureWrapper::GetDisplayName },
    { "Gain", Op::GetCategory, &KelFeatureWrapper::GetCategory },
    { "Gain", Op::GetUnit, &KelFeatureWrapper::GetUnit },
    { "Gain", Op::GetRepresentation, &KelFeatureWrapper::GetRepresentation },
    { "Gain", Op::GetToolTip, &KelFeatureWrapper::GetToolTip },
    { "Gain", Op::GetDescription, &KelFeatureWrapper::GetDescription },
};

} // namespace

class TestKelFeatureWrapper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textReads_data();
    void textReads();
    void byteVectors();

private:
    KelFeatureWrapperPtr Wrap(const char* name) const
    {
        KelCPP::FeaturePtr feature;
        camera->GetFeatureByName(name, feature);
        return std::make_shared<KelFeatureWrapper>(feature);
    }

    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
};

void TestKelFeatureWrapper::init()
{
    camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
}

// Only the value getter replaces its output after a failure (with an empty
// text); the other text getters leave it alone.
void TestKelFeatureWrapper::textReads_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("faultKind");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QByteArray>("expectedText");

    const int fails = int(Fault::Kind::Error);
    for (int i = 0; i < int(std::size(textOperations)); ++i) {
        const char* label = KelCPP::Sim::OpName(textOperations[i].op);
        const bool isValue = textOperations[i].op == Op::GetValue;
        QTest::addRow("%s fails", label) << i << fails << int(KelError::Timeout)
                                         << (isValue ? QByteArray() : QByteArray("previous"));
        QTest::addRow("%s reports length 0", label)
            << i << int(Fault::Kind::ZeroLength) << int(KelError::Success) << QByteArray();
    }
    QTest::newRow("string value cut at its first NUL")
        << 0 << int(Fault::Kind::EmbeddedNul) << int(KelError::Success) << QByteArray("camera-7");
}

void TestKelFeatureWrapper::textReads()
{
    QFETCH(int, operation);
    QFETCH(int, faultKind);
    QFETCH(int, expectedCode);
    QFETCH(QByteArray, expectedText);

    const TextOperation& op = textOperations[operation];
    Fault fault = Fault::Always(KelError::Timeout);
    fault.kind = Fault::Kind(faultKind);
    camera->InjectFault(op.feature, op.op, fault);

    std::string text = "previous";
    QCOMPARE(int(((*Wrap(op.feature)).*op.get)(text)), expectedCode);
    QCOMPARE(QByteArray::fromStdString(text), expectedText);
}

void TestKelFeatureWrapper::byteVectors()
{
    const KelFeatureWrapperPtr lut = Wrap("Lut");
    QCOMPARE(lut->SetValue(std::vector<std::uint8_t>()), KelError::BadParameter);
    QCOMPARE(camera->CallCount("Lut", Op::SetValue), std::uint64_t(0));

    const std::vector<std::uint8_t> written{ 1, 2, 3, 4 };
    QCOMPARE(lut->SetValue(written), KelError::Success);
    std::vector<std::uint8_t> value;
    std::uint32_t filled = 0;
    QCOMPARE(lut->GetValue(value, filled), KelError::Success);
    QCOMPARE(value, written);
    QCOMPARE(filled, std::uint32_t(4));

    camera->InjectFault("Lut", Op::GetValue, Fault::ZeroLength());
    QCOMPARE(lut->GetValue(value, filled), KelError::Success);
    QVERIFY(value.empty());
    QCOMPARE(filled, std::uint32_t(0));
}

QTEST_GUILESS_MAIN(TestKelFeatureWrapper)
#include "tst_kelfeaturewrapper.moc"
