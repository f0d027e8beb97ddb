#pragma once

#include "ProfileStore.h"
#include "StoreResult.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The part of a settings file that follows the tasks: one section of "task name=value"
// entries in file order, kept in step when a task is renamed or deleted (作息表.ini's
// 任务作息表, 广播分区.ini's 任务分区). Every change is linear in the section's size, so a
// file made by hand with any number of entries never holds up the start or a bell.
template <typename Value> class TaskBoundSection {
public:
    // Each key once (the first spelling of keys equal but for ASCII case), in file order,
    // its value made by parse(text).
    template <typename Parse>
    static TaskBoundSection read(const ProfileFile &file, const QString &section, Parse parse) {
        TaskBoundSection read;
        const ProfileFile::SectionRef entries = file.section(section);
        for (const QString &task : file.keys(section)) {
            read.m_order.append(task);
            read.m_values.insert(task, parse(entries.value(task).value_or(QString())));
        }
        return read;
    }

    // Appends the section to the file, each value written as format(task, value).
    template <typename Format>
    StoreResult appendTo(ProfileFile *file, const QString &section, Format format) const {
        if (StoreResult made = file->appendSection(section, {}); !made)
            return made;
        for (const QString &task : m_order)
            if (StoreResult set = file->setValue(section, task, format(task, m_values[task])); !set)
                return set;
        return StoreResult::success();
    }

    const QHash<QString, Value> &values() const { return m_values; }
    Value valueOf(const QString &task) const { return m_values.value(task); }

    // The tasks whose value passes, in file order.
    template <typename Predicate> QStringList tasksWhere(Predicate passes) const {
        QStringList tasks;
        for (const QString &task : m_order)
            if (passes(m_values[task]))
                tasks.append(task);
        return tasks;
    }

    // The section with the entries set, an empty value dropping the task's entry (a new task
    // goes last), and, when `existing` is given, the entries of tasks not in it dropped.
    TaskBoundSection with(const QHash<QString, Value> &entries,
                          const QSet<QString> *existing = nullptr) const {
        TaskBoundSection next = *this;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            if (it.value().isEmpty()) {
                next.m_values.remove(it.key());
                continue;
            }
            if (!next.m_values.contains(it.key()))
                next.m_order.append(it.key());
            next.m_values.insert(it.key(), it.value());
        }
        next.m_order.removeIf([&](const QString &task) {
            if (existing && !existing->contains(task))
                next.m_values.remove(task);
            return !next.m_values.contains(task);
        });
        return next;
    }

    bool operator==(const TaskBoundSection &) const = default;

private:
    QList<QString> m_order; // the keys of m_values, in file order
    QHash<QString, Value> m_values;
};
