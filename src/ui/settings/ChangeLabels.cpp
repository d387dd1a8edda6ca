#include "ui/settings/ChangeLabels.h"

#include <iterator>

#include "settings/CarInfo.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

/// One edit of the settings dialog: the value, its label, and the title of the
/// group it sits in (null: none).
struct FieldLabel {
    ESetting id;
    const char* label;
    const char* group;
};

constexpr FieldLabel FIELD_LABELS[] = {
    {ESetting::switchSpeed, "Obroty automatycznego przejścia na LPG", nullptr},
    {ESetting::switchTemperature, "Temperatura automatycznego przejścia na LPG", nullptr},
    {ESetting::maxInternalTemperature, "Maksymalna temperatura wewnętrzna", nullptr},
    {ESetting::petrolSwitchPressure, "Ciśnienie przełączenia na benzynę [kPa] ", nullptr},
    {ESetting::ignitionsPerCycle, "Ilość zapłonów na cykl", nullptr},
    {ESetting::minSupplyVoltage, "Minimalne napięcie zasilania [V]", nullptr},
    {ESetting::lpgSwitchDelay, "Opóźnienie przełączenia na LPG [s]", nullptr},
    {ESetting::emulatorStepDelay,
     "Opóźnienie włączenia kolejnej części emulatora  (w ilości wtrysków na danej części emulatora) ", nullptr},
    {ESetting::voltageLimit, "Ograniczenie napięcia wtryskiwaczy do [%]", GROUP_LPG_INJECTORS},
    {ESetting::voltageLimitDelay, "Opóźnienie włączenia ograniczenia napięcia wtryskiwaczy [ms]", GROUP_LPG_INJECTORS},
    {ESetting::mainCorrection, "Główna poprawka    [ms]", nullptr},
    {ESetting::mainCorrection2, "Główna poprawka  2  [ms]", nullptr},
    {ESetting::referencePressure, "Referencja             [kPa]", GROUP_PRESSURE},
    {ESetting::pressureSlope, "Nachylenie", GROUP_PRESSURE},
    {ESetting::referenceVoltage, "Referencja                 [V]", GROUP_SUPPLY_VOLTAGE},
    {ESetting::voltageCorrection, "Poprawka  [ms/100mV]", GROUP_SUPPLY_VOLTAGE},
    {ESetting::waterValveOnTemperature, "Temperatura włączenia", GROUP_WATER_VALVE},
    {ESetting::waterValveOffTemperature, "Temperatura wyłączenia", GROUP_WATER_VALVE},
    {ESetting::pressureAveraging, "Uśrednianie ciśnienia po", GROUP_AVERAGING},
};

const FieldLabel* fieldLabel(ESetting id) {
    for (const FieldLabel& f : FIELD_LABELS)
        if (f.id == id) return &f;
    return nullptr;
}

} // namespace

const char* settingFieldLabel(ESetting id) {
    const FieldLabel* f = fieldLabel(id);
    return f ? f->label : nullptr;
}

QString changeLabel(const std::string& name) {
    ESetting id{};
    if (findSetting(name, id)) {
        if (const FieldLabel* f = fieldLabel(id)) {
            const QString text = QString::fromUtf8(f->label).simplified();
            return f->group ? QString::fromUtf8(f->group) + QStringLiteral(": ") + text : text;
        }
        // The values that the dialog packs from boxes and lists.
        switch (id) {
        case ESetting::correction2Injectors: return QStringLiteral("Wtryskiwacze z główną poprawką 2");
        case ESetting::optionFlags: return QStringLiteral("Opcje sterownika (poprawki czasu wtrysku, mapa wtrysków)");
        case ESetting::lpgInjectorType: return QStringLiteral("Typ wtryskiwaczy LPG");
        case ESetting::petrolInjectionType:
            return QStringLiteral("Sterowanie wtryskiwaczami benzynowymi (rodzaj sekwencji, sygnał 12 V)");
        case ESetting::auxOption: return QString::fromUtf8(LABEL_AUTO_BELOW_3C);
        default: break;
        }
    }
    if (name == "remarks")
        return QStringLiteral("Uwagi");
    // The car texts, named as the car information dialog names them.
    static const char* const carTexts[] = {"make", "model", "capacity", "power", "year", "injectors", "flow"};
    static_assert(std::size(carTexts) == static_cast<size_t>(ECarText::Count));
    for (size_t t = 0; t < std::size(carTexts); ++t)
        if (name == carTexts[t])
            return QString::fromUtf8(carTextLabel(static_cast<ECarText>(t)));
    const std::string prefix = "timeCorrection[";
    if (name.rfind(prefix, 0) == 0 && name.back() == ']')
        return QStringLiteral("Poprawka czasu wtrysku przy %1 ms")
            .arg(qstr(name.substr(prefix.size(), name.size() - prefix.size() - 1)));
    return qstr(name);
}

QString namedChanges(const std::vector<SettingChange>& changes) {
    std::vector<SettingChange> named = changes;
    for (SettingChange& c : named)
        c.name = changeLabel(c.name).toStdString();
    return qstr(formatChanges(named));
}

bool confirmSettingChanges(QWidget* parent, const std::vector<SettingChange>& changes) {
    if (changes.empty())
        return true; // nothing changes: nothing to confirm
    const QString text = QStringLiteral("Zmiany względem ustawień sterownika:\n") + namedChanges(changes) +
                         QStringLiteral("\nCzy chcesz wpisać ustawienia do urządzenia?");
    return zefMessageBox(parent, text, QString(APP_CAPTION), EMsgStyle::Question) == EMsgResult::Yes;
}

} // namespace zefirel
