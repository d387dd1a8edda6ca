#include "ui/autosetup/StepDlgs.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

#include "autosetup/AutoSetWizard.h"
#include "ui/support/MsgHelper.h"
#include "ui/settings/SettingText.h"

namespace zefirel {

namespace {
constexpr const char* NEXT = "Dalej >>";
constexpr const char* ABORT = "Przerwij";
constexpr int TEXT_WIDTH = 420;
} // namespace

CStepDlg::CStepDlg(const char* name, const char* title, const char* okText, const char* cancelText,
                   QWidget* parent)
    : QDialog(parent) {
    setObjectName(QLatin1String(name));
    setWindowTitle(QString::fromUtf8(title));
    auto* lay = new QVBoxLayout(this);
    m_body = new QVBoxLayout;
    lay->addLayout(m_body);
    lay->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = namedButton(this, QString::fromUtf8(okText), "stepOk");
    m_ok->setDefault(true);
    m_cancel = namedButton(this, QString::fromUtf8(cancelText), "stepCancel");
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    lay->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QLabel* CStepDlg::addText(const char* text) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setWordWrap(true);
    l->setMinimumWidth(TEXT_WIDTH);
    m_body->addWidget(l);
    return l;
}

void CStepDlg::addNote(const QString& line) {
    auto* l = new QLabel(line, this);
    l->setObjectName(QStringLiteral("stepNote"));
    l->setWordWrap(true);
    l->setMinimumWidth(TEXT_WIDTH);
    l->setFrameShape(QFrame::StyledPanel);
    l->setMargin(4);
    m_body->insertWidget(0, l);
}

CStepStartDlg::CStepStartDlg(QWidget* parent)
    : CStepDlg("stepStartDlg", "Ustawienia krok po kroku", NEXT, ABORT, parent) {
    addText("Procedura wymaga podania kilku podstawowych informacji dotyczących silnika samochodu.");
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Ilość cylindrów"), this);
    m_cylinders = new QComboBox(this);
    m_cylinders->setObjectName(QStringLiteral("cylinders"));
    m_cylinders->setEditable(true);
    m_cylinders->setInsertPolicy(QComboBox::InsertAlphabetically);
    m_cylinders->addItems({QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                           QStringLiteral("8")});
    m_cylinders->setCurrentText(QStringLiteral("4"));
    // A controller drives at most eight injectors.
    m_cylinders->setValidator(new QIntValidator(1, MAX_INJECTORS, m_cylinders));
    label->setBuddy(m_cylinders);
    row->addWidget(label);
    row->addWidget(m_cylinders);
    row->addStretch(1);
    body()->addLayout(row);
}

QString CStepStartDlg::cylinders() const { return m_cylinders->currentText(); }

CStep1Dlg::CStep1Dlg(CSettingsBlock& block, QWidget* parent)
    : CStepDlg("step1Dlg", "Krok 1", NEXT, ABORT, parent), m_block(block) {
    addText("Podaj podstawowe informacje dotyczące konfiguracji sterownika instalacji LPG.\n"
            "Wszystkie pola są uzupełnione zalecanymi wartościami.");
    static const char* const labels[] = {
        "Obroty automatycznego przełączenia na LPG",
        "Temperatura automatycznego przełączenia na LPG",
        "Temperatura wewnętrzna sterownika powodująca awaryjne przełączenie na benzynę",
        "Ciśnienie przełączenia na benzynę [kPa] (pusty zbiornik)",
        "Ilość impulsów zapłonu na cykl",
        "Minimalne napięcie zasilania sterownika powodująca awaryjne przełączenie na benzynę [V]",
        "Opóźnienie przełączenia na LPG [sek]",
    };
    static_assert(std::size(labels) == WIZARD_BASIC_SETTINGS.size());
    auto* grid = new QGridLayout;
    for (size_t i = 0; i < WIZARD_BASIC_SETTINGS.size(); ++i) {
        const ESetting id = WIZARD_BASIC_SETTINGS[i];
        auto* l = new QLabel(QString::fromUtf8(labels[i]), this);
        l->setWordWrap(true);
        auto* e = new QLineEdit(settingText(block.value(id), settingInfo(id).kind), this);
        e->setObjectName(QLatin1String(settingInfo(id).name));
        e->setMaximumWidth(90);
        l->setBuddy(e);
        const int row = static_cast<int>(i);
        grid->addWidget(l, row, 0);
        grid->addWidget(e, row, 1);
        m_fields.push_back({id, l, e});
    }
    body()->addLayout(grid);
}

void CStep1Dlg::accept() {
    // All fields are read before any value is stored: a refused field leaves the
    // block as it was.
    CSettingsBlock edited = m_block;
    for (const Field& f : m_fields)
        if (!readSettingEdit(this, f.label->text(), f.edit, f.id, edited)) return;
    for (const Field& f : m_fields) m_block.setValue(f.id, edited.value(f.id));
    QDialog::accept();
}

CStep2Dlg::CStep2Dlg(QWidget* parent) : CStepDlg("step2Dlg", "Krok 2", "Przełącz na LPG", ABORT, parent) {
    addText("W tym kroku silnik zostanie po raz pierwszy przełączony na LPG. ");
    addText("Przed przełączeniem silnik musi pracować na stabilnych wolnych obrotach na benzynie.");
}

CStep3Dlg::CStep3Dlg(QWidget* parent) : CStepDlg("step3Dlg", "Krok 3", NEXT, ABORT, parent) {
    addText("Jeżeli silnik podczas pracy na LPG utrzymuje stabilne obroty, można przejść do dalszego etapu. ");
    addText("W przeciwnym wypadku należy przerwać autokalibrację i wykonać poniższe czynności:");
    addText("-sprawdzić czy ciśnienie reduktora przy pracy na LPG  utrzymuje się w okolicy WYMAGANYCH 100 kPa");
    addText("-zmniejszyć wydatek zastosowanych wtryskiwaczy gazowych o 20%");
    addText("Po wykonaniu ww. czynności należy ponownie włączyć autokalibrację.");
}

CStep4Dlg::CStep4Dlg(QWidget* parent) : CStepDlg("step4Dlg", "Krok 4", NEXT, ABORT, parent) {
    addText("W tym kroku uruchomiona zostanie procedura automatycznego ustawienia poprawek dla czasów wtrysku "
            "LPG. Silnik będzie kilkakrotnie przełączany z benzyny na LPG i odwrotnie.");
    addText("W trakcie autokalibracji silnik musi pozostać na wolnych obrotach.");
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    body()->addWidget(line);
    addText("UWAGI");
    addText("Silnik nie powinien być PRZEGRZANY.");
    addText("W czasie trwania autokalibracji nie należy w żaden sposób zmieniać warunków pracy silnika, np. "
            "zmieniać obrotów, włączać świateł, klimatyzacji i innych źródeł obciążenia. ");
}

// The last dialog carries the title "Krok 3" as well.
CStepEndDlg::CStepEndDlg(QWidget* parent) : CStepDlg("stepEndDlg", "Krok 3", "Koniec", "Anuluj", parent) {
    addText("Procedura autokalibracji została zakończona pomyślnie.");
    addText("Sterownik zostanie przełączony w tryb pracy automatycznej (AUTO).");
}

} // namespace zefirel
