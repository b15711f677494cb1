#pragma once
// What a person sees on a window, checked: every text a user reads is in the interface
// language, no caption is wider than its room, no two visible neighbours overlap and no
// control lies outside its parent where nothing scrolls to it.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QWidget;

namespace opencc {
class SimpleConverter;
}

enum class AuditLanguage { CHS, CHT, ENG };

struct AuditFinding {
    QString check;  // "language", "clipped", "overlap", "outside"
    QString screen;
    QString widget; // path of object names from the window down
    QString text;
    QString describe(AuditLanguage language) const;
};

class ScreenAudit {
public:
    explicit ScreenAudit(AuditLanguage language);
    ~ScreenAudit();

    AuditLanguage Language() const { return language_; }

    // Widgets (object names) whose texts are database data: supplier and company names,
    // codes a clerk typed. Their texts are not language-checked; room and overlap still are.
    void SetDataWidgets(const QStringList& names) { data_ = names; }
    // Columns of a data view (its object name and the header titles) whose cells are
    // mapped texts of the job, not data, and so are language-checked.
    void SetMappedColumns(const QString& view, const QStringList& headers);

    // Every visible widget of the window (itself included).
    std::vector<AuditFinding> Visit(QWidget* window, const QString& screen) const;
    // A message box or any text shown to the clerk outside a widget tree.
    std::vector<AuditFinding> Text(const QString& screen, const QString& what, const QString& text) const;

    // The single checks, for a text and a widget.
    bool InLanguage(const QString& text) const;
    static QString ClippedText(QWidget* w);

private:
    void texts(QWidget* w, const QString& path, const QString& screen, std::vector<AuditFinding>& out) const;
    void room(QWidget* parent, const QString& path, const QString& screen, std::vector<AuditFinding>& out) const;

    AuditLanguage language_;
    std::unique_ptr<opencc::SimpleConverter> s2t_;
    QStringList data_;
    QString mappedView_;
    QStringList mappedHeaders_;
};
