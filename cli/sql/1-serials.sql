-- velnor's schema, version 1: the serial list and what became of each serial.
-- Run by `velnor serials init URI` in one transaction with the statements of the later
-- versions; velnor records the version it reached in velnor.schema_version.
CREATE SCHEMA IF NOT EXISTS velnor;

CREATE TABLE velnor.schema_version (
    version  integer NOT NULL,
    upgraded timestamptz NOT NULL DEFAULT now()
);

-- One row a serial, in the list's order (position). A taking is an update of the serial's own
-- row, which the primary key keeps unique: no serial can be recorded as taken twice.
--   free      never taken
--   taking    chosen for a keypad that is about to be written (by station, host, pid)
--   taken     that keypad holds it (its restore was verified)
--   returned  that keypad's restore failed and left it without the serial: free again
-- A serial left "taking" by a velnor that no longer runs is of unknown outcome: it is never
-- handed out again until `velnor serials URI --resolve` or `--return` settles it.
CREATE TABLE velnor.serials (
    serial       text PRIMARY KEY,
    position     bigint NOT NULL UNIQUE,
    state        text NOT NULL DEFAULT 'free' CHECK (state IN ('free', 'taking', 'taken', 'returned')),
    station      text,
    host         text,
    pid          integer,
    keypad       text,
    taking_since timestamptz,
    settled      timestamptz
);
-- The next free serials, without reading the others.
CREATE INDEX serials_free ON velnor.serials (position) WHERE state IN ('free', 'returned');
-- The serials being worked on (or of unknown outcome).
CREATE INDEX serials_taking ON velnor.serials (host) WHERE state = 'taking';
