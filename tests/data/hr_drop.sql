-- Removes the HR schema, as a DBA does before creating it again.
DROP VIEW emp_details_view;
DROP VIEW dept_sizes;
DROP SEQUENCE employees_seq;
DROP SEQUENCE departments_seq;
DROP TABLE job_history CASCADE CONSTRAINTS PURGE;
DROP TABLE employees CASCADE CONSTRAINTS PURGE;
DROP TABLE departments CASCADE CONSTRAINTS PURGE;
DROP TABLE regions CASCADE CONSTRAINTS PURGE;
