#include "ui/settings/CarInfoDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/Preferences.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// Characters accepted per text (the field's width less its terminating zero).
int limitOf(ECarText t) { return static_cast<int>(carTextInfo(t).width) - 1; }

QLineEdit* textField(QWidget* parent, const char* name, ECarText t) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(limitOf(t));
    return e;
}

QComboBox* editableList(QWidget* parent, const char* name, ECarText t) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->lineEdit()->setMaxLength(limitOf(t));
    return c;
}

void fill(QComboBox* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& s : items) list->addItem(qstr(s));
}

} // namespace

CCarInfoDlg::CCarInfoDlg(const std::string& settingsFolder, IPreferences* prefs, const CSettingsBlock& docRecord,
                         QWidget* parent)
    : QDialog(parent), m_folder(settingsFolder) {
    setObjectName(QStringLiteral("carInfoDlg"));
    setWindowTitle(QStringLiteral("Informacje o samochodzie"));
    m_make = editableList(this, "make", ECarText::make);
    m_model = editableList(this, "model", ECarText::model);
    m_capacity = textField(this, "capacity", ECarText::capacity);
    m_power = textField(this, "power", ECarText::power);
    m_year = textField(this, "year", ECarText::year);
    m_injectors = editableList(this, "injectors", ECarText::injectors);
    m_flow = textField(this, "flow", ECarText::flow);

    auto* form = new QFormLayout;
    // The labels are the names a refusal gives a missing text.
    for (size_t t = 0; t < static_cast<size_t>(ECarText::Count); ++t)
        form->addRow(QString::fromUtf8(carTextLabel(static_cast<ECarText>(t))), field(static_cast<ECarText>(t)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Anuluj"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CCarInfoDlg::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(buttons);
    setMinimumWidth(420);

    // A sorted list: the nozzle sizes show in ascending order, "2.0" selected.
    for (const char* size : {"3.0", "2.5", "2.0", "1.8", "1.5", "1.0"}) m_injectors->addItem(QString::fromLatin1(size));
    m_injectors->model()->sort(0);
    m_injectors->setCurrentIndex(3);

    fill(m_make, CCarInfo::listMakes(m_folder));
    m_make->setCurrentIndex(-1);
    connect(m_make, qOverload<int>(&QComboBox::activated), this, &CCarInfoDlg::onMakeChosen);

    const CarTexts last = prefs ? CCarInfo::restoreLastCar(*prefs, docRecord) : CarTexts{};
    const auto has = [&](ECarText t) { return !last[static_cast<size_t>(t)].empty(); };
    const bool nothingRestored = !has(ECarText::make) && !has(ECarText::model) && !has(ECarText::power) &&
                                 !has(ECarText::injectors);
    setTexts(nothingRestored ? CCarInfo::carTexts(docRecord) : last);
}

CarTexts CCarInfoDlg::texts() const {
    CarTexts t;
    t[static_cast<size_t>(ECarText::make)] = m_make->currentText().toStdString();
    t[static_cast<size_t>(ECarText::model)] = m_model->currentText().toStdString();
    t[static_cast<size_t>(ECarText::capacity)] = m_capacity->text().toStdString();
    t[static_cast<size_t>(ECarText::power)] = m_power->text().toStdString();
    t[static_cast<size_t>(ECarText::year)] = m_year->text().toStdString();
    t[static_cast<size_t>(ECarText::injectors)] = m_injectors->currentText().toStdString();
    t[static_cast<size_t>(ECarText::flow)] = m_flow->text().toStdString();
    return t;
}

void CCarInfoDlg::setTexts(const CarTexts& t) {
    const auto text = [&](ECarText e) { return qstr(t[static_cast<size_t>(e)]); };
    m_make->setEditText(text(ECarText::make));
    m_fieldsMake = text(ECarText::make);
    m_model->setEditText(text(ECarText::model));
    m_capacity->setText(text(ECarText::capacity));
    m_power->setText(text(ECarText::power));
    m_year->setText(text(ECarText::year));
    if (!text(ECarText::injectors).isEmpty()) m_injectors->setEditText(text(ECarText::injectors));
    m_flow->setText(text(ECarText::flow));
}

void CCarInfoDlg::onMakeChosen(int index) {
    const QString make = m_make->itemText(index);
    const bool sameMake = make.compare(m_fieldsMake, Qt::CaseInsensitive) == 0;
    m_fieldsMake = make;
    const QString model = m_model->currentText();
    fill(m_model, CCarInfo::listModels(m_folder, make.toStdString()));
    if (sameMake) {
        m_model->setEditText(model);
        return;
    }
    m_model->setCurrentIndex(m_model->count() > 0 ? 0 : -1);
    m_flow->clear();
    m_capacity->clear();
    m_power->clear();
    m_year->clear();
}

QWidget* CCarInfoDlg::field(ECarText t) const {
    switch (t) {
    case ECarText::make: return m_make;
    case ECarText::model: return m_model;
    case ECarText::capacity: return m_capacity;
    case ECarText::power: return m_power;
    case ECarText::year: return m_year;
    case ECarText::injectors: return m_injectors;
    default: return m_flow;
    }
}

void CCarInfoDlg::onOk() {
    if (const ECarText missing = missingCarText(texts()); missing != ECarText::Count) {
        zefMessageBox(this, qstr(carDataMissingMessage(missing)));
        field(missing)->setFocus();
        return;
    }
    accept();
}

bool askCarDataWithDialog(const std::string& settingsFolder, IPreferences* prefs, CSettingsBlock& record,
                          QWidget* parent) {
    CCarInfoDlg dlg(settingsFolder, prefs, record, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    CCarInfo::setCarTexts(record, dlg.texts());
    return true;
}

} // namespace zefirel
