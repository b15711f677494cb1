#pragma once
// The job form's messages: every message goes by code through the catalogue that the
// session object serves, is recorded in the form's two records (MessageCodes,
// MessageTexts; they travel to the job queue as a run's outcome) and, unless its number
// is negative, shown in a dialog whose icon and buttons follow the type letter.

#include "config/Dialogs.h"
#include "platform/Variant.h"

#include <QList>
#include <QString>

class TfrmBaseGene;

class TJobMessages {
public:
    explicit TJobMessages(TfrmBaseGene& form);

    void ReportMessage(const QString& code);
    void ReportRawError(const QString& text);
    int ShowCodedMessage(const QString& type, const QString& number, const QList<TMsgDlgBtn>& buttons,
                         const QList<Variant>& args);
    int ShowMessageDialog(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons,
                          std::optional<TMsgDlgBtn> defaultButton = std::nullopt);

    // A form-local text by section and key; a section that lacks it falls back to
    // TfrmBaseGene, then to the default (display-converted).
    QString FormText(const QString& section, const QString& key, const QString& defaultText) const;

    // Icon and default buttons of a type letter (as ShowCodedMessage shows it).
    static TMsgDlgType DialogTypeOf(const QString& type);
    static QList<TMsgDlgBtn> DefaultButtonsOf(const QString& type);

    // A template formatted with the ten text parameters of a message code; when the
    // template does not take them, the template, "\r" and each parameter followed by ";".
    static QString FormatWithParameters(const QString& templ, const QList<Variant>& params);

    // Errors and warnings shown so far: a parameter hand-over compares it before and after
    // setting the values, so that a check that refused one stops the run.
    int ProblemsShown() const { return problemsShown_; }

private:
    // A form being cancelled reports nothing.
    bool cancelling() const;
    void recordText(const QString& text);

    TfrmBaseGene& form_;
    int problemsShown_ = 0;
};
