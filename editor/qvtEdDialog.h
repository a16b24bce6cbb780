// The editor's dialog: a line-oriented conversation on a text terminal that
// edits one effect parameter record. A person types commands; a script can
// feed the same lines. It starts from the record it is given (or from the
// default effect when the record cannot be read), lets the person choose
// the effect class and set each property, checking every value against the
// property catalogue, and ends with the new record (ok) or with nothing
// (cancel, or the end of the input).
#ifndef QVT_EDITOR_QVTEDDIALOG_H
#define QVT_EDITOR_QVTEDDIALOG_H

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransEff.h"
#include "persist/qvtCatalog.h"

namespace qvt::editor {

// Where the dialog reads its lines and writes its text.
class TDialogIO {
public:
    enum class TLine { Line, TooLong, End };
    virtual ~TDialogIO() = default;
    // The next line without its line end. TooLong: a line beyond the limit
    // was read and dropped; End: no more input.
    virtual TLine ReadLine(std::string &line) = 0;
    virtual void Write(std::string_view text) = 0;
};

class TEditorDialog {
public:
    // Offers the registered effects that a record can name.
    explicit TEditorDialog(TDialogIO &io);
    // Offers the effects of catalogue.
    TEditorDialog(TDialogIO &io, std::vector<TTransitionDescription> catalogue);
    ~TEditorDialog();

    // Runs the dialog on a record; the new record when the person accepted,
    // nothing when they cancelled or the input ended.
    std::optional<std::string> Run(std::string_view record);

private:
    void Start(std::string_view record);
    // Runs one command line; the result of the dialog when it ends there.
    bool Command(std::string_view line, std::optional<std::string> &result);
    void Help();
    void Show();
    void ListClasses();
    void ChooseClass(std::string_view name);
    void Set(std::string_view args);
    bool Accept(std::optional<std::string> &result);
    void Say(std::string_view text) { io_.Write(text); }

    TDialogIO &io_;
    // The effects a record can name.
    std::vector<TTransitionDescription> catalogue_;
    std::unique_ptr<TTransitionEffect> effect_;
    TTransitionDescription description_;
};

// The About text: title, maker, description and version.
void ShowAboutText(TDialogIO &io);

} // namespace qvt::editor

#endif
