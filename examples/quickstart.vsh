# A short tour of Vorlix through the vorlix shell: one method call of Vorlix.DBConnection a
# line, its answer below it. Out-parameters are left out of a call and shown after its result.

# A new database file, opened for reading and writing.
CreateDatabase "quickstart.vdb"
OpenForWrite "quickstart.vdb"

# A table from a field specification array: ID numbers itself and gets a unique primary index,
# Name is required text of up to 40 characters, Born a date, City text of up to 30.
CreateTable "Customers" ["*RTLB*", "ID", "LONG", false, empty, "I", true, true, "*RTLE*", "*RTLB*", "Name", "TEXT", 40, true, empty, "*RTLE*", "*RTLB*", "Born", "DATE", false, empty, "*RTLE*", "*RTLB*", "City", "TEXT", 30, false, empty, "*RTLE*"]

# The table opened on its ID index; records appended as name/value arrays.
Table "Customers" "ID"
Append ["Name", "Ada", "Born", #1815-12-10#, "City", "London"] true
Append ["Name", "Grace", "Born", #1906-12-09#, "City", "New York"] true
Append ["Name", "Alan", "Born", #1912-06-23#, "City", "London"] true
Append ["Name", "Edsger", "Born", #1930-05-11#, "City", "Rotterdam"] true

# Seek a record by its key, then replace one of its values.
Seek 2
Replace ["City", "Arlington"]

# An SQL aggregate: a result set shown as a table.
SQL "SELECT City, COUNT(*) AS Customers FROM Customers GROUP BY City ORDER BY City"

# A saved query with a parameter, run with a value for it.
CreateQuery "LivingIn" "PARAMETERS [Town] Text(30); SELECT Name, Born FROM Customers WHERE City = [Town] ORDER BY Born"
Query "LivingIn" ["Town", "London"]

# The catalogue: the tables, the current table's fields and its indexes.
ListTables
Structure
ListIndexes

Close
