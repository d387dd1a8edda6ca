// CDevSetupDlg: building the controls, the feature- and level-dependent
// visibility, the injector type list, the main-correction mirroring and the
// settings list. The record's way into and out of the controls and the actions
// are in DevSetupDlgRecord.cpp and DevSetupDlgActions.cpp.
#include "ui/settings/DevSetupDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "diag/DeviceDoc.h"
#include "ui/settings/ChangeLabels.h"
#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"

namespace zefirel {

namespace {
/// Control ids of the eight injector boxes, for injectors 1..8 in that order.
constexpr int INJECTOR_BOX_IDS[8] = {1195, 1196, 1198, 1197, 1200, 1201, 1203, 1202};

} // namespace

CDevSetupDlg::CDevSetupDlg(CDeviceDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc), m_record(doc.settings()) {
    setObjectName(QStringLiteral("devSetupDlg"));
    setWindowTitle(QStringLiteral("Ustawienia urządzenia"));
    auto* lay = new QHBoxLayout(this);
    lay->addWidget(buildGeneral());
    lay->addWidget(buildCorrections());
    lay->addWidget(buildListAndButtons(), 1);

    // Opening: the type list, the averaging field locked, the settings list.
    fillInjectorTypes();
    field(ESetting::pressureAveraging)->edit->setEnabled(false);
    fillSnapshots();
    applyFeatures();
    showRecord();
    // A controller whose settings this connection has not seen is read at once, so
    // the dialog never offers to write values that did not come from it.
    if (m_doc.diagnosticsOn() || !m_doc.recordingPath().empty() ||
        (m_doc.isVersionOk() && !m_doc.controllerSettingsKnown()))
        guarded(this, "CDevSetupDlg::OnInitDialog()", [this] { onRead(); });
    if (!m_doc.isVersionOk()) m_readButton->setEnabled(false);
    gateWrites(m_writeButton, m_doc);
    modalRefresh(false);
}

CDevSetupDlg::~CDevSetupDlg() = default;

// --- building ------------------------------------------------------------------

CDevSetupDlg::Field& CDevSetupDlg::addField(QWidget* parent, QGridLayout* grid, ESetting id) {
    const int row = grid->rowCount();
    auto* l = new QLabel(QString::fromUtf8(settingFieldLabel(id)), parent);
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(settingInfo(id).name));
    e->setMaximumWidth(90);
    l->setBuddy(e);
    grid->addWidget(l, row, 0);
    grid->addWidget(e, row, 1);
    m_fields.push_back({id, l, e});
    return m_fields.back();
}

QGroupBox* CDevSetupDlg::group(const char* title, const char* name, QGridLayout*& grid) {
    auto* g = new QGroupBox(QString::fromUtf8(title), this);
    g->setObjectName(QLatin1String(name));
    grid = new QGridLayout(g);
    return g;
}

QWidget* CDevSetupDlg::buildGeneral() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    addField(page, grid, ESetting::switchSpeed);
    addField(page, grid, ESetting::switchTemperature);
    addField(page, grid, ESetting::maxInternalTemperature);
    addField(page, grid, ESetting::petrolSwitchPressure);
    addField(page, grid, ESetting::ignitionsPerCycle);
    addField(page, grid, ESetting::minSupplyVoltage);
    addField(page, grid, ESetting::lpgSwitchDelay);
    Field& emulator = addField(page, grid, ESetting::emulatorStepDelay);
    emulator.label->setWordWrap(true);
    v->addLayout(grid);

    m_autoBelow3C = new QCheckBox(QString::fromUtf8(LABEL_AUTO_BELOW_3C), page);
    m_autoBelow3C->setObjectName(QStringLiteral("autoBelow3C"));
    v->addWidget(m_autoBelow3C);

    m_signal12V = new QCheckBox(QStringLiteral("Wtryskiwacze benzynowe załączane sygnałem 12 V"), page);
    m_signal12V->setObjectName(QStringLiteral("signal12V"));
    v->addWidget(m_signal12V);
    auto* seqRow = new QHBoxLayout;
    m_sequenceGroup = new QButtonGroup(this);
    const char* const seqTexts[] = {"Pełna sekwencja", "Niesekwencja", "Półsekwencja"};
    const char* const seqNames[] = {"sequenceFull", "sequenceNon", "sequenceHalf"};
    for (int i = 0; i < 3; ++i) {
        m_sequence[static_cast<size_t>(i)] = new QRadioButton(QString::fromUtf8(seqTexts[i]), page);
        m_sequence[static_cast<size_t>(i)]->setObjectName(QLatin1String(seqNames[i]));
        m_sequenceGroup->addButton(m_sequence[static_cast<size_t>(i)], i);
        seqRow->addWidget(m_sequence[static_cast<size_t>(i)]);
    }
    m_description = namedButton(page, QStringLiteral("Opis..."), "description");
    seqRow->addWidget(m_description);
    v->addLayout(seqRow);
    connect(m_description, &QPushButton::clicked, this, &CDevSetupDlg::onDescription);

    QGridLayout* g = nullptr;
    QGroupBox* types = group(GROUP_LPG_INJECTORS, "lpgInjectorGroup", g);
    m_injectorType = new QComboBox(types);
    m_injectorType->setObjectName(QStringLiteral("lpgInjectorType"));
    g->addWidget(m_injectorType, 0, 0, 1, 2);
    addField(types, g, ESetting::voltageLimit);
    addField(types, g, ESetting::voltageLimitDelay);
    v->addWidget(types);
    connect(m_injectorType, &QComboBox::currentIndexChanged, this, &CDevSetupDlg::onInjectorTypeSelected);
    v->addStretch(1);
    return page;
}

QWidget* CDevSetupDlg::buildCorrections() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    Field& main = addField(page, grid, ESetting::mainCorrection);
    m_arrow = new QLabel(QStringLiteral("→"), page);
    m_arrow->setObjectName(QStringLiteral("arrowLabel"));
    grid->addWidget(m_arrow, grid->rowCount(), 1, Qt::AlignHCenter);
    addField(page, grid, ESetting::mainCorrection2);
    v->addLayout(grid);
    connect(main.edit, &QLineEdit::textEdited, this, &CDevSetupDlg::onMainCorrectionEdited);

    m_injectorGroup = new QGroupBox(QStringLiteral("dla wtryskiwacza"), page);
    m_injectorGroup->setObjectName(QStringLiteral("injectorGroup"));
    auto* boxes = new QGridLayout(m_injectorGroup);
    for (int i = 0; i < 8; ++i) {
        auto* b = new QCheckBox(QString::number(i + 1), m_injectorGroup);
        b->setObjectName(QStringLiteral("injector%1").arg(INJECTOR_BOX_IDS[i]));
        boxes->addWidget(b, i / 4, i % 4);
        m_injectorBoxes[static_cast<size_t>(i)] = b;
        connect(b, &QCheckBox::clicked, this, &CDevSetupDlg::onMainCorrectionEdited);
    }
    v->addWidget(m_injectorGroup);

    QGridLayout* g = nullptr;
    QGroupBox* pressure = group(GROUP_PRESSURE, "pressureGroup", g);
    addField(pressure, g, ESetting::referencePressure);
    addField(pressure, g, ESetting::pressureSlope);
    v->addWidget(pressure);
    m_supplyGroup = group(GROUP_SUPPLY_VOLTAGE, "supplyVoltageGroup", g);
    addField(m_supplyGroup, g, ESetting::referenceVoltage);
    addField(m_supplyGroup, g, ESetting::voltageCorrection);
    v->addWidget(m_supplyGroup);
    m_waterValveGroup = group(GROUP_WATER_VALVE, "waterValveGroup", g);
    addField(m_waterValveGroup, g, ESetting::waterValveOnTemperature);
    addField(m_waterValveGroup, g, ESetting::waterValveOffTemperature);
    v->addWidget(m_waterValveGroup);
    QGroupBox* averaging = group(GROUP_AVERAGING, "averagingGroup", g);
    addField(averaging, g, ESetting::pressureAveraging);
    g->addWidget(new QLabel(QStringLiteral("obrotach"), averaging), g->rowCount() - 1, 2);
    m_allowAveraging = new QCheckBox(QStringLiteral("Pozwól zmienić"), averaging);
    m_allowAveraging->setObjectName(QStringLiteral("allowAveraging"));
    g->addWidget(m_allowAveraging, g->rowCount(), 0, 1, 3);
    v->addWidget(averaging);
    connect(m_allowAveraging, &QCheckBox::toggled, this,
            [this](bool on) { field(ESetting::pressureAveraging)->edit->setEnabled(on); });
    v->addStretch(1);
    return page;
}

QWidget* CDevSetupDlg::buildListAndButtons() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    m_list = new QTableWidget(0, 2, page);
    m_list->setObjectName(QStringLiteral("settingsList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("Lista ustawień"), QStringLiteral("Uwagi")});
    m_list->setColumnWidth(0, 135);
    m_list->setColumnWidth(1, 60);
    fitColumnsToHeaders(m_list);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setStyleSheet(QStringLiteral("QTableWidget { gridline-color: rgb(255,127,0); }"));
    v->addWidget(m_list, 1);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        guarded(this, "CDevSetupDlg::OnDblclkList()", [this, row] { applySnapshot(row); });
    });

    v->addWidget(new QLabel(QStringLiteral("Uwagi"), page));
    m_remarks = new QLineEdit(page);
    m_remarks->setObjectName(QStringLiteral("remarks"));
    m_remarks->setMaxLength(static_cast<int>(block::REMARKS_SIZE) - 1);
    v->addWidget(m_remarks);

    m_readButton = namedButton(page, QStringLiteral("Wczytaj z urządzenia"), "readDevice");
    m_writeButton = namedButton(page, QStringLiteral("Wpisz do urządzenia"), "writeDevice");
    QPushButton* file = namedButton(page, QStringLiteral("Wczytaj z pliku...."), "readFile");
    QPushButton* factory = namedButton(page, QStringLiteral("Przywróć ustawienia fabryczne"), "factory");
    QPushButton* ok = namedButton(page, QStringLiteral("OK"), "ok");
    QPushButton* cancel = namedButton(page, QStringLiteral("Anuluj"), "cancel");
    for (QPushButton* b : {m_readButton, m_writeButton, file, factory, ok, cancel})
        v->addWidget(b);
    m_note = makeNoteLine(page, "note");
    v->addWidget(m_note);
    connect(m_readButton, &QPushButton::clicked, this, [this] {
        guarded(this, "CDevSetupDlg::OnBtnRead()", [this] { onRead(); });
    });
    connect(m_writeButton, &QPushButton::clicked, this, [this] {
        guarded(this, "CDevSetupDlg::OnBtnWrite()", [this] { onWrite(); });
    });
    connect(file, &QPushButton::clicked, this, [this] {
        guarded(this, "CDevSetupDlg::OnBtnReadFile()", [this] { onFile(); });
    });
    connect(factory, &QPushButton::clicked, this, &CDevSetupDlg::onFactory);
    connect(ok, &QPushButton::clicked, this, &CDevSetupDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CDevSetupDlg::reject);
    return page;
}

CDevSetupDlg::Field* CDevSetupDlg::field(ESetting id) {
    for (Field& f : m_fields)
        if (f.id == id)
            return &f;
    return nullptr;
}

// --- features and levels -------------------------------------------------------

bool CDevSetupDlg::hasFeature(uint32_t bit) const { return (m_doc.featureMask() & bit) != 0; }

void CDevSetupDlg::applyFeatures() {
    const bool service = m_doc.serviceLevel();
    const auto showField = [this](ESetting id, bool on) {
        Field* f = field(id);
        f->label->setVisible(on);
        f->edit->setVisible(on);
    };
    const bool sequenceTypes = hasFeature(FEATURE_PETROL_INJECTION_TYPES);
    for (QRadioButton* r : m_sequence)
        r->setEnabled(sequenceTypes);
    m_description->setEnabled(sequenceTypes);
    m_waterValveGroup->setVisible(hasFeature(FEATURE_HEATER_SWITCH));
    m_supplyGroup->setVisible(hasFeature(FEATURE_SUPPLY_VOLTAGE_CORRECTION) && service);
    showField(ESetting::voltageLimit, service);
    showField(ESetting::voltageLimitDelay, service);
    showField(ESetting::emulatorStepDelay, hasFeature(FEATURE_CASCADE_EMULATORS));
    m_autoBelow3C->setVisible(hasFeature(FEATURE_LPG_TEMPERATURE_SWITCH));
    const bool second = hasFeature(FEATURE_SECOND_MAIN_CORRECTION);
    showField(ESetting::mainCorrection2, second);
    m_arrow->setVisible(second);
    m_injectorGroup->setVisible(second);
    const unsigned injectors = m_doc.settings().injectorCount();
    for (size_t i = 0; i < m_injectorBoxes.size(); ++i)
        m_injectorBoxes[i]->setVisible(second && injectors >= i + 1);
}

// --- injector types -------------------------------------------------------------

void CDevSetupDlg::fillInjectorTypes() {
    const QSignalBlocker block(m_injectorType);
    m_injectorType->clear();
    for (const LpgInjectorType& t : lpgInjectorTypes())
        m_injectorType->addItem(QString::fromUtf8(t.name), t.code);
    if (m_doc.serviceLevel())
        ensureOtherType();
}

void CDevSetupDlg::ensureOtherType() {
    if (m_injectorType->findText(QString::fromUtf8(LPG_INJECTOR_OTHER)) < 0)
        m_injectorType->addItem(QString::fromUtf8(LPG_INJECTOR_OTHER), 0);
}

void CDevSetupDlg::selectInjectorType(const QString& name) {
    const QSignalBlocker block(m_injectorType);
    m_injectorType->setCurrentIndex(m_injectorType->findText(name));
}

void CDevSetupDlg::onInjectorTypeSelected() {
    const LpgInjectorType* t = lpgInjectorTypeOfCode(m_injectorType->currentData().toUInt());
    Field* limit = field(ESetting::voltageLimit);
    Field* delay = field(ESetting::voltageLimitDelay);
    if (t) {
        limit->edit->setText(QString::number(t->voltageLimit));
        delay->edit->setText(QString::number(t->limitDelay));
    }
    limit->edit->setEnabled(t == nullptr);
    delay->edit->setEnabled(t == nullptr);
}

// --- main correction mirroring --------------------------------------------------

bool CDevSetupDlg::anyInjectorChecked() const {
    for (const QCheckBox* b : m_injectorBoxes)
        if (b->isChecked())
            return true;
    return false;
}

void CDevSetupDlg::onMainCorrectionEdited() {
    // Without injectors of their own, the second correction follows the main one.
    if (!anyInjectorChecked())
        field(ESetting::mainCorrection2)->edit->setText(field(ESetting::mainCorrection)->edit->text());
}

// --- settings list --------------------------------------------------------------

void CDevSetupDlg::fillSnapshots() {
    m_snapshots.clear();
    m_doc.readSettingsHistory(m_snapshots);
    m_list->setRowCount(0);
    for (const CSettingsBlock& s : m_snapshots) {
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        m_list->setItem(row, 0, new QTableWidgetItem(qstr(s.timeStamp())));
        m_list->setItem(row, 1, new QTableWidgetItem(qstr(s.remarks())));
    }
    m_list->setEnabled(!m_snapshots.empty());
}

} // namespace zefirel
