#pragma once
// Typed handles of the main window's fields, made from the one field list (Fields.def).
// Product code names a field by its handle, fld::EditVmaxPrz, so that a misspelt name fails
// to compile; the handle knows the control's object name and kind.
#include <QString>

#include <cstdint>
#include <optional>

namespace kadex {

// What kind of control a field stands for; decides which properties it has.
enum class Kind {
    Edit,        // single-line entry: Text, ReadOnly
    Memo,        // multi-line text as lines: Items, ReadOnly
    Spin,        // numeric entry: Value, ReadOnly
    Slider,      // track bar: Value (the position)
    Combo,       // drop-down: Text, ItemIndex, Items (Text follows the selected item)
    List,        // list box: Items, ItemIndex
    Label,       // Caption
    Panel,       // status or grouping panel: Caption
    Button,      // push button: Caption
    Toggle,      // button that stays down: Caption, Checked (= down)
    Radio,       // Caption, Checked; exclusive within its group
    Check,       // check box: Caption, Checked
    Group,       // group box: Caption
    Tab,         // one tab sheet: Caption
    Pages,       // tab control: ItemIndex (the active tab)
    Action,      // menu command: Caption, Checked (check mark)
    StatusField, // one field of the status bar: Text
};

// Position of a field in the field list.
enum class FieldIndex : uint16_t {
#define KADEX_FIELD(Name, ...) Name,
#include "device/model/Fields.def"
#undef KADEX_FIELD
    Count
};
inline constexpr int kFieldCount = static_cast<int>(FieldIndex::Count);

// A field of the main window. Only the list makes them; compare them, pass them by value.
struct FieldId {
    FieldIndex index;
    Kind kind;

    constexpr bool operator==(const FieldId& other) const { return index == other.index; }
    constexpr bool operator<(const FieldId& other) const { return index < other.index; }
    // The control's object name ("EditVmaxPrz").
    const QString& name() const;
    const char* latin1() const;
};

namespace fld {
#define KADEX_FIELD(Name, K, ...) inline constexpr FieldId Name{FieldIndex::Name, Kind::K};
#include "device/model/Fields.def"
#undef KADEX_FIELD
} // namespace fld

// Every handle in list order.
const FieldId* allFields();
// The field of an object name that comes from outside (a widget, a language file); nothing
// for a name the list does not declare, which the caller reports as an error.
std::optional<FieldId> fieldByName(const QString& name);

} // namespace kadex
