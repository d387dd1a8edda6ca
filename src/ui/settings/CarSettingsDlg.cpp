#include "ui/settings/CarSettingsDlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

struct Column {
    const char* title;
    int width;
};
const Column COLUMNS[] = {{"Data", 130},           {"Rok prod.", 80},      {"Moc [KM]", 70},
                          {"Wtryskiwacze", 100},   {"Skalibrowane na", 90}, {"Ciśn. reduktora", 90},
                          {"Nr sterownika", 0},    {"Wersja sterownika", 90}, {"Uwagi", 90}};
constexpr int IDENTITY_COLUMN = 6;

QComboBox* dropList(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QPushButton* button(QWidget* parent, const QString& text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

void fill(QComboBox* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& s : items) list->addItem(qstr(s));
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);
}

/// The row's texts, in column order.
QStringList rowTexts(const CSettingsBlock& r) {
    return {qstr(r.timeStamp()),
            qstr(r.carText(ECarText::year)),
            qstr(r.carText(ECarText::power)),
            qstr(r.carText(ECarText::injectors)),
            qstr(r.carText(ECarText::flow)),
            QString::asprintf("%.1f", r.reducerPressure()),
            qstr(r.identity()),
            QString::asprintf("%.1d", static_cast<int>(r.versionMark())),
            qstr(r.remarks())};
}

} // namespace

CCarSettingsDlg::CCarSettingsDlg(const std::string& settingsFolder, const std::string& controllerIdentity,
                                 QWidget* parent)
    : QDialog(parent), m_folder(settingsFolder), m_identity(controllerIdentity) {
    setObjectName(QStringLiteral("carSettingsDlg"));
    setWindowTitle(QStringLiteral("Wybierz ustawienia samochodu..."));
    m_make = dropList(this, "make");
    m_model = dropList(this, "model");
    m_capacity = dropList(this, "capacity");
    auto* find = button(this, QStringLiteral("Znajdź"), "find");
    auto* chooseBtn = button(this, QStringLiteral("Wybierz"), "choose");
    auto* chooseWrite = button(this, QStringLiteral("Wybierz i wpisz do urządzenia"), "chooseAndWrite");
    chooseWrite->setToolTip(QStringLiteral("Wczytuje zaznaczone ustawienia i wpisuje je do urządzenia"));
    auto* cancel = button(this, QStringLiteral("Anuluj"), "cancel");

    m_list = new QTableWidget(0, static_cast<int>(std::size(COLUMNS)), this);
    m_list->setObjectName(QStringLiteral("files"));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    // The selection is drawn over the rows' own colours, in a colour none of them
    // has, so the orange rows of this controller never pass for a selected one.
    m_list->setStyleSheet(QStringLiteral("QTableWidget { gridline-color: %1; }"
                                         " QTableWidget::item:selected { background: %2; color: white; }")
                              .arg(winColour(FILE_LIST_GRID).name(), winColour(ROW_SELECTED).name()));
    QStringList titles;
    for (const Column& c : COLUMNS) titles << QString::fromUtf8(c.title);
    m_list->setHorizontalHeaderLabels(titles);
    for (int i = 0; i < m_list->columnCount(); ++i) m_list->setColumnWidth(i, COLUMNS[i].width);
    m_list->setColumnHidden(IDENTITY_COLUMN, true);
    fitColumnsToHeaders(m_list);
    auto* legend =
        new QLabel(QStringLiteral("Pomarańczowe tło: ustawienia zapisane z podłączonego sterownika. "
                                  "Wybrany wiersz jest podświetlony na granatowo."),
                   this);
    legend->setObjectName(QStringLiteral("legend"));
    legend->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Marka pojazdu"), m_make);
    form->addRow(QStringLiteral("Model"), m_model);
    form->addRow(QStringLiteral("Pojemność silnika"), m_capacity);
    auto* top = new QHBoxLayout;
    top->addLayout(form, 1);
    top->addWidget(find, 0, Qt::AlignBottom);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(chooseBtn);
    bottom->addWidget(chooseWrite);
    bottom->addWidget(cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(m_list, 1);
    lay->addWidget(legend);
    lay->addLayout(bottom);
    resize(860, 420);

    connect(m_make, qOverload<int>(&QComboBox::activated), this, &CCarSettingsDlg::onMakeChosen);
    connect(m_model, qOverload<int>(&QComboBox::activated), this, &CCarSettingsDlg::onModelChosen);
    connect(find, &QPushButton::clicked, this, &CCarSettingsDlg::onFind);
    connect(chooseBtn, &QPushButton::clicked, this, &CCarSettingsDlg::onChoose);
    connect(chooseWrite, &QPushButton::clicked, this, &CCarSettingsDlg::onChooseAndWrite);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { onChoose(); });

    fill(m_make, CCarInfo::listMakes(m_folder));
    onMakeChosen();
}

void CCarSettingsDlg::onMakeChosen() {
    fill(m_model, CCarInfo::listModels(m_folder, m_make->currentText().toStdString()));
    onModelChosen();
}

void CCarSettingsDlg::onModelChosen() {
    fill(m_capacity, CCarInfo::listCapacities(m_folder, m_make->currentText().toStdString(),
                                              m_model->currentText().toStdString()));
}

void CCarSettingsDlg::onFind() {
    m_list->setRowCount(0);
    m_files = CCarInfo::readSettingsFiles(m_folder, m_make->currentText().toStdString(),
                                          m_model->currentText().toStdString(),
                                          m_capacity->currentText().toStdString());
    m_list->setRowCount(static_cast<int>(m_files.size()));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const CSettingsBlock& r = m_files[static_cast<size_t>(row)].record;
        const uint32_t colour = r.identity() == m_identity ? ROW_OWN_CONTROLLER : (row % 2 == 0 ? ROW_EVEN : ROW_ODD);
        const QStringList texts = rowTexts(r);
        for (int col = 0; col < texts.size(); ++col) {
            auto* item = new QTableWidgetItem(texts[col]);
            item->setTextAlignment(col == 0 ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter);
            item->setBackground(winColour(colour));
            item->setForeground(Qt::black);
            if (colour == ROW_OWN_CONTROLLER)
                item->setToolTip(QStringLiteral("Ustawienia zapisane z podłączonego sterownika"));
            m_list->setItem(row, col, item);
        }
    }
    fitColumnsToHeaders(m_list); // the date and time are whole
}

uint32_t CCarSettingsDlg::rowColour(int row) const {
    const QTableWidgetItem* item = m_list->item(row, 0);
    if (!item) return 0;
    const QColor c = item->background().color();
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

bool CCarSettingsDlg::choose() {
    const QList<QTableWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        zefMessageBox(this, QString::fromUtf8(MSG_SELECT_SETTINGS));
        return false;
    }
    const size_t row = static_cast<size_t>(selected.first()->row());
    if (row >= m_files.size()) return false;
    m_chosen = CCarInfo::chosenPath(m_files[row]);
    return true;
}

void CCarSettingsDlg::onChoose() {
    if (!choose()) return;
    m_write = false;
    accept();
}

void CCarSettingsDlg::onChooseAndWrite() {
    if (!choose()) return;
    m_write = true;
    accept();
}

} // namespace zefirel
