-- The rights velnor needs, for a database administrator to adapt: run as the owner of the
-- database once `velnor serials init URI` (as the owner, or a role with CREATE on the
-- database) has made the schema. The stations' role needs no more than this; no superuser.
--   CREATE ROLE velnor_station LOGIN PASSWORD '...';
GRANT USAGE ON SCHEMA velnor TO velnor_station;
GRANT SELECT ON velnor.schema_version TO velnor_station;
GRANT SELECT, UPDATE ON velnor.serials TO velnor_station;
GRANT INSERT ON velnor.audit TO velnor_station;
GRANT USAGE ON SEQUENCE velnor.audit_id_seq TO velnor_station;
-- Reading the record (velnor serials URI, quality queries) needs only SELECT:
--   GRANT SELECT ON velnor.serials, velnor.audit TO velnor_quality;
