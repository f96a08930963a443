#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <memory>

namespace kova {

// One prompt of a bank's multi-factor step and, once the user has typed it,
// its answer. Prompts are shared between the screens that fill them and the
// call that sends the answers back, so they have identity.
class MFAParameter {
public:
    // Null unless `value` is an object.
    static std::shared_ptr<MFAParameter> initWithDictionary(const QJsonValue &value);

    // {"id", "answer", "index"}, with null for a missing identifier or answer;
    // the query is never sent back.
    QJsonObject toDictionary() const;

    const QString &identifier() const { return m_identifier; }
    void setIdentifier(const QString &identifier);
    const QString &query() const { return m_query; }
    void setQuery(const QString &query) { m_query = query; }
    const QString &hint() const { return m_hint; }
    void setHint(const QString &hint) { m_hint = hint; }
    qint64 index() const { return m_index; }
    void setIndex(qint64 index) { m_index = index; }
    const QString &answer() const { return m_answer; }
    void setAnswer(const QString &answer) { m_answer = answer; }

    // The identifier capitalised word by word; "otp" is written all in capitals.
    static QString hintForIdentifier(const QString &identifier);

private:
    QString m_identifier;
    QString m_query;
    QString m_hint;
    qint64 m_index = 0;
    QString m_answer;
};

} // namespace kova
