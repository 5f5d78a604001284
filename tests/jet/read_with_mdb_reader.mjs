// Prints a table of a Jet file as read by the npm package mdb-reader: one
// line per record, the cells in column order, blank-separated; a date-time as
// milliseconds since 1970 (as the package gives it), a NULL cell as "N".
// The first line lists the column names.
//   node read_with_mdb_reader.mjs FILE.mdb TABLE
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { pathToFileURL } from "node:url";

const [file, tableName] = process.argv.slice(2);
// The package is installed under the build folder, named by ORLIX_MDB_READER.
const require = createRequire(pathToFileURL(process.env.ORLIX_MDB_READER + "/").href);
const { default: MDBReader } = await import(pathToFileURL(require.resolve("mdb-reader")).href);

const reader = new MDBReader(readFileSync(file));
const table = reader.getTable(tableName);
const names = table.getColumnNames();
const out = [names.join(" ")];
for (const row of table.getData()) {
  out.push(names.map((n) => {
    const v = row[n];
    if (v === null) return "N";
    if (v instanceof Date) return String(v.getTime());
    return String(v);
  }).join(" "));
}
process.stdout.write(out.join("\n") + "\n");
