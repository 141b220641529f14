#include "engine/schema/FieldDefinition.h"

#include "engine/DaoException.h"
#include "engine/schema/FieldValue.h"
#include "engine/schema/Names.h"
#include "engine/store/SqlText.h"
#include "engine/store/TextCollation.h"

namespace vorlix {

FieldSpec CheckField(const CDaoFieldInfo& info) {
  FieldSpec f;
  f.name = NewName(info.m_strName, "field");
  f.type = FieldTypeByCode(info.m_nType);
  if (!f.type) {
    ThrowDao(dao_error::kInvalidArgument, "The field " + Quoted(f.name) + " has the unknown type " +
                                              std::to_string(info.m_nType) + ".");
  }
  f.size = f.type->size;
  if (f.type->maxSize != 0 && info.m_lSize != 0) {
    if (info.m_lSize < 0 || info.m_lSize > f.type->maxSize) {
      ThrowDao(dao_error::kInvalidArgument,
               "The size " + std::to_string(info.m_lSize) + " of the field " + Quoted(f.name) +
                   " is outside 1 to " + std::to_string(f.type->maxSize) + ".");
    }
    f.size = info.m_lSize;
  }
  f.autoIncrement = (info.m_lAttributes & dbAutoIncrField) != 0;
  if (f.autoIncrement && f.type->code != dbLong) {
    ThrowDao(dao_error::kInvalidArgument, "Only a Long field can number itself; " + Quoted(f.name) +
                                              " is " + f.type->name + ".");
  }
  if (!info.m_strValidationRule.empty()) {
    ThrowDao(dao_error::kInvalidArgument,
             "Validation rules are not supported (field " + Quoted(f.name) + ").");
  }
  f.required = info.m_bRequired && !f.autoIncrement;
  // Only text can be zero-length; the flag means nothing for other types.
  f.allowZeroLength = info.m_bAllowZeroLength && (f.type->code == dbText || f.type->code == dbMemo);
  f.defaultText = NameUtf8(info.m_strDefaultValue, "default value");
  if (!f.defaultText.empty()) {
    f.defaultSql = SqlLiteral(ToStoredValue(*f.type, f.size, Variant::Str(info.m_strDefaultValue)));
  }
  return f;
}

std::string ColumnSql(Store& db, const FieldSpec& field) {
  std::string sql = QuoteName(field.name) + " " +
                    db.ColumnTypeSql(DeclaredTypeSql(*field.type, field.size, field.autoIncrement));
  if (field.required) sql += " NOT NULL";
  if (!field.defaultSql.empty()) sql += " DEFAULT " + field.defaultSql;
  if (field.type->noCase) sql += std::string(" COLLATE ") + kTextCollation;
  return sql;
}

IndexSpec CheckIndex(const CDaoIndexInfo& info) {
  IndexSpec index;
  index.name = NewName(info.m_strName, "index");
  if (info.m_fieldInfos.empty()) {
    ThrowDao(dao_error::kInvalidArgument, "The index " + Quoted(index.name) + " has no fields.");
  }
  if (info.m_bIgnoreNulls || info.m_bRequired) {
    ThrowDao(dao_error::kInvalidArgument,
             "The index " + Quoted(index.name) + " asks for Null handling that is not supported.");
  }
  for (const CDaoIndexFieldInfo& field : info.m_fieldInfos) {
    std::string name = NameUtf8(field.m_strName, "field");  // a field of any name, made by SQL too
    for (const auto& [other, descending] : index.fields) {
      if (EqualNoCase(other, name)) {
        ThrowDao(dao_error::kInvalidArgument, "The index " + Quoted(index.name) +
                                                  " names the field " + Quoted(name) + " twice.");
      }
    }
    index.fields.emplace_back(std::move(name), field.m_bDescending);
  }
  index.unique = info.m_bUnique || info.m_bPrimary;
  index.primary = info.m_bPrimary;
  return index;
}

std::string CreateIndexSql(const std::string& table, const std::string& storedName,
                           const IndexSpec& index) {
  std::string sql = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                    QuoteName(storedName) + " ON " + QuoteName(table) + " (";
  for (size_t i = 0; i < index.fields.size(); ++i) {
    sql += (i ? ", " : "") + QuoteName(index.fields[i].first) +
           (index.fields[i].second ? " DESC" : "");
  }
  return sql + ")";
}

}  // namespace vorlix
