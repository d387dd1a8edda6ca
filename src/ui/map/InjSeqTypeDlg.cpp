#include "ui/map/InjSeqTypeDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zefirel {

namespace {
/// Heading and description of each mode, then the remarks.
const char* const TEXTS[][2] = {
    {"Pełna sekwencja",
     "- sterownik czyta sygnały wszystkich wtryskiwaczy benzynowych 1,2,3,4,5,6,7,8 i steruje w ich takt "
     "odpowiednimi wtryskiwaczami gazowymi 1,2,3,4,5,6,7,8"},
    {"Niesekwencja",
     "- sterownik czyta sygnał wtryskiwacza benzynowego 1 i steruje w jego takt wtryskiwaczami gazowymi "
     "1,2,3,4,5,6,7,8"},
    {"Półsekwencja",
     "- sterownik czyta sygnał wtryskiwaczy benzynowych 1 i 2 i steruje w ich takt wtryskiwaczami gazowymi "
     "odpowiednio: dla 1 -> 1, 3, 5, 7,  dla 2 -> 2, 4, 6, 8"},
};
const char* const REMARKS[] = {
    "Zmiana tego ustawienia powinna nastąpić jedynie wtedy gdy mamy pewność jaki jest typ sterownika benzynowego.",
    " Błędne ustawienie zachowania sterownika LPG (np. ustawnienie niesekwencji dla silnika z pełną sekwencją może "
    "powodować problemy z poprawnym ustawieniem sterownika.",
    "Wpisanie do sterownika zmiany tego ustawienia powoduje restart sterownika (przełączenie na benzynę).",
};

QLabel* label(QWidget* parent, const char* text, bool heading) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setWordWrap(true);
    if (heading) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}
} // namespace

CInjSeqTypeDlg::CInjSeqTypeDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("injSeqTypeDlg"));
    setWindowTitle(QStringLiteral("Opis zachowania sterownika LPG"));
    auto* lay = new QVBoxLayout(this);
    for (const auto& t : TEXTS) {
        lay->addWidget(label(this, t[0], true));
        lay->addWidget(label(this, t[1], false));
    }
    lay->addWidget(label(this, "UWAGI", true));
    for (const char* r : REMARKS)
        lay->addWidget(label(this, r, false));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    lay->addWidget(buttons);
    setMinimumWidth(460);
}

} // namespace zefirel
